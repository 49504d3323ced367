#!/bin/sh
# Installs into a scratch prefix and checks the layout, then runs the
# installed launcher with a stand-in program that reports where it started.
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/velmora libexec/velmora/velmora share/applications/velmora.desktop \
         share/icons/hicolor/32x32/apps/velmora.png share/velmora-web/velmora.html share/velmora-web/velmoralib.js \
         share/velmora-web/velmora.css share/velmora-web/bg.jpg share/velmora-web/help.html \
         share/velmora-web/d3-array.min.js share/velmora-web/d3-geo.min.js share/velmora-web/topojson-client.min.js \
         share/velmora-web/world-110m.js share/velmora-web/world-50m.js \
         share/man/man1/velmora.1.gz share/metainfo/org.velmora.velmora.metainfo.xml; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
grep -qx 'Exec=velmora' "$prefix/share/applications/velmora.desktop"
grep -qx 'Icon=velmora' "$prefix/share/applications/velmora.desktop"
# The icon in each size the desktop looks for; a PNG's width and height are
# big-endian after the signature and chunk header.
for size in 32 48 64 128; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/velmora.png"
  [ "$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')" = "$(printf '%08x%08x' "$size" "$size")" ] \
    || { echo "icon $png is not $size x $size"; exit 1; }
done
grep -q '<svg xmlns="http://www.w3.org/2000/svg"' "$prefix/share/icons/hicolor/scalable/apps/velmora.svg" \
  || { echo "no scalable icon"; exit 1; }

# The launcher starts the program in the per-user folder, with the page
# files and the help there; a file the user changed stays as it is.
mkdir -p "$scratch/data/velmora"
echo "mine" > "$scratch/data/velmora/help.html"
started=$(XDG_DATA_HOME="$scratch/data" VELMORA_PROGRAM=pwd "$prefix/bin/velmora")
[ "$started" = "$scratch/data/velmora" ] || { echo "started in $started"; exit 1; }
for f in velmoralib.js velmora.html velmora.css bg.jpg d3-array.min.js d3-geo.min.js topojson-client.min.js \
         world-110m.js world-50m.js; do
  cmp -s "$prefix/share/velmora-web/$f" "$scratch/data/velmora/$f" || { echo "not copied: $f"; exit 1; }
done
[ "$(cat "$scratch/data/velmora/help.html")" = "mine" ] || { echo "help.html replaced"; exit 1; }

# Installed into ~/.local, whose share/ holds the per-user folder too, the
# user's copies still go to a folder of their own.
home="$scratch/home"
cmake --install "$build" --prefix "$home/.local" >/dev/null
started=$(env -u XDG_DATA_HOME HOME="$home" VELMORA_PROGRAM=pwd "$home/.local/bin/velmora")
[ "$started" = "$home/.local/share/velmora" ] || { echo "~/.local install started in $started"; exit 1; }
[ -f "$started/velmora.html" ] && [ ! "$started/velmora.html" -ef "$home/.local/share/velmora-web/velmora.html" ] \
  || { echo "~/.local install: the per-user copy of velmora.html is not a copy of its own"; exit 1; }
# A relative XDG_DATA_HOME counts as unset.
started=$(cd "$scratch" && HOME="$home" XDG_DATA_HOME=data VELMORA_PROGRAM=pwd "$home/.local/bin/velmora")
[ "$started" = "$home/.local/share/velmora" ] || { echo "relative XDG_DATA_HOME: started in $started"; exit 1; }

# Without a usable HOME the launcher says so in one line and exits 1,
# making no folder anywhere (not at the root, not in the caller's folder).
mkdir -p "$scratch/here"
root_had_local=$([ -e /.local ] && echo yes || echo no)
for case in unset empty relative; do
  case $case in
    unset) set -- env -u HOME -u XDG_DATA_HOME ;;
    empty) set -- env -u XDG_DATA_HOME HOME= ;;
    relative) set -- env -u XDG_DATA_HOME HOME=home ;;
  esac
  status=0
  (cd "$scratch/here" && "$@" VELMORA_PROGRAM=pwd "$prefix/bin/velmora") >"$scratch/out" 2>"$scratch/err" || status=$?
  [ "$status" -eq 1 ] || { echo "HOME $case: exit status $status"; exit 1; }
  [ "$(wc -l <"$scratch/err")" -eq 1 ] && grep -q "HOME" "$scratch/err" || { echo "HOME $case:"; cat "$scratch/err"; exit 1; }
  [ ! -s "$scratch/out" ] && [ -z "$(ls -A "$scratch/here")" ] || { echo "HOME $case: started or made a folder"; exit 1; }
  [ "$root_had_local" = yes ] || [ ! -e /.local ] || { echo "HOME $case: made /.local"; exit 1; }
done

# A per-user folder that leads to the installed files is refused, and
# nothing is written there.
mkdir -p "$scratch/linked"
ln -s "$prefix/share/velmora-web" "$scratch/linked/velmora"
if XDG_DATA_HOME="$scratch/linked" VELMORA_PROGRAM=pwd "$prefix/bin/velmora" 2>"$scratch/err" >/dev/null; then
  echo "started in the folder of the installed files"
  exit 1
fi
grep -q "is the folder of the installed files" "$scratch/err" || { cat "$scratch/err"; exit 1; }
[ "$(ls "$prefix/share/velmora-web" | wc -l)" -eq 10 ] || { echo "written into the installed files"; exit 1; }
echo "install layout and launcher: ok"
