#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build
# needs (only those missing), then configures and builds into build/.
# Arguments are handed to the configuring cmake.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev libxcb1-dev libgl-dev libgtest-dev libbenchmark-dev xvfb xauth fonts-liberation2
  g++-mingw-w64-x86-64 chromium gpsbabel xclip x11-utils)
# clang for the sanitizer build and the fuzzing targets.
packages+=(clang libclang-rt-14-dev)
# pugixml reads places files; libzip reads and writes KMZ.
packages+=(libpugixml-dev libzip-dev)
# clang-format for the check of the sources' layout.
packages+=(clang-format)
# Node.js drives the browser tests; a machine without it gets Debian's.
command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
# GIO starts the desktop's programs; Marble, a session bus and the desktop's
# handler cache let a test fly the real globe. Marble recommends far more
# than it needs, hence no recommended packages for these.
lean=(libglib2.0-dev pkgconf marble dbus desktop-file-utils)

# Installs those of the named packages that are missing; the first
# argument holds extra apt-get options.
install_missing() {
  local options="$1"
  shift
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $options "${missing[@]}"
}
install_missing "" "${packages[@]}"
install_missing "--no-install-recommends" "${lean[@]}"

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The browser test's driver, at the version pinned in its lock file; it
# uses Debian's Chromium and must never fetch a browser of its own.
web="$root/tests/web"
if [ ! -d "$web/node_modules" ] || [ "$web/package-lock.json" -nt "$web/node_modules" ]; then
  (cd "$web" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error && touch node_modules)
fi
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$root/build" -j"$(nproc)"
