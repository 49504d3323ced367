#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages that are
# missing for what is asked, then configures and builds into build/.
#   scripts/setup.sh program [cmake options]  what building and running the
#       program needs; builds the program alone, its output kept in logs
#   scripts/setup.sh all [cmake options]      every test tool as well; builds
#       every target
# The cmake options go to the configuring cmake.
set -euo pipefail
what="${1:-}"
case $what in
  program | all) shift ;;
  *) echo "usage: scripts/setup.sh program|all [cmake options]" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The program: the compiler, Qt (D-Bus included), pugixml reads places
# files, libzip reads and writes KMZ, simdjson reads GeoJSON, GIO starts
# the desktop's programs, xcb reads the X11 clipboard without waiting on a
# stuck owner.
program=(cmake g++ make qt6-base-dev libxcb1-dev libgl-dev libpugixml-dev libzip-dev libsimdjson-dev libglib2.0-dev pkgconf)
# The tests: GoogleTest and Google Benchmark, virtual X servers with their
# fonts and tools, the Windows cross-compiler, the browser and gpsbabel.
tests=(libgtest-dev libbenchmark-dev xvfb xauth fonts-liberation2 g++-mingw-w64-x86-64 chromium gpsbabel xclip
  x11-utils)
# clang for the sanitizer build and the fuzzing targets.
tests+=(clang libclang-rt-14-dev)
# clang-format for the check of the sources' layout.
tests+=(clang-format)
# Node.js drives the browser tests; a machine without it gets Debian's.
command -v npm >/dev/null 2>&1 || tests+=(nodejs npm)
# Marble, a session bus and the desktop's handler cache let a test fly the
# real globe. Marble recommends far more than it needs, hence no
# recommended packages for these.
lean=(marble dbus desktop-file-utils)
# A window manager brings the globe forward when asked; xdotool minimises
# it and reads which window is active.
tests+=(openbox xdotool)
# The Debian package test: dpkg-shlibdeps finds its dependencies; lintian, appstream,
# desktop-file-utils and man-db check the package, its data and its manual page.
tests+=(dpkg-dev lintian appstream man-db)
# unzip checks the KMZ archives written for gpsbabel, which cannot read them itself.
tests+=(unzip)
# Syncthing, two instances of it, proves a journal in a synced folder keeps every place.
tests+=(syncthing)

mkdir -p "$root/build"
# Installs those of the named packages that are missing; the first
# argument holds extra apt-get options. apt's own lines go to a log.
install_missing() {
  local options="$1"
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing ${#missing[@]} Debian packages: ${missing[*]} (log: build/apt.log)" >&2
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # shellcheck disable=SC2086
  if ! { $sudo apt-get update -qq && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $options \
    "${missing[@]}"; } >"$root/build/apt.log" 2>&1; then
    tail -n 20 "$root/build/apt.log" >&2
    exit 1
  fi
}

if [ "$what" = program ]; then
  # The program alone: a fresh machine gets it in minutes.
  install_missing "--no-install-recommends" "${program[@]}"
  echo "Building the program (log: build/build.log)" >&2
  if ! { cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
    cmake --build "$root/build" -j"$(nproc)" --target velmora; } >"$root/build/build.log" 2>&1; then
    tail -n 30 "$root/build/build.log" >&2
    exit 1
  fi
  exit 0
fi

install_missing "" "${program[@]}" "${tests[@]}"
install_missing "--no-install-recommends" "${lean[@]}"

# The browser test's driver, at the version pinned in its lock file; it
# uses Debian's Chromium and must never fetch a browser of its own.
web="$root/tests/web"
if [ ! -d "$web/node_modules" ] || [ "$web/package-lock.json" -nt "$web/node_modules" ]; then
  (cd "$web" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error && touch node_modules)
fi
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_REQUIRE_TESTS=ON "$@" >/dev/null
cmake --build "$root/build" -j"$(nproc)"
