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
         share/icons/hicolor/32x32/apps/velmora.png share/velmora/velmora.html share/velmora/velmoralib.js \
         share/velmora/velmora.css share/velmora/bg.jpg share/velmora/help.html; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
grep -qx 'Exec=velmora' "$prefix/share/applications/velmora.desktop"
grep -qx 'Icon=velmora' "$prefix/share/applications/velmora.desktop"
# PNG width and height, big-endian after the signature and chunk header: 32 x 32.
[ "$(od -An -tx1 -j16 -N8 "$prefix/share/icons/hicolor/32x32/apps/velmora.png" | tr -d ' \n')" = 0000002000000020 ] \
  || { echo "icon is not 32 x 32"; exit 1; }

# The launcher starts the program in the per-user folder, with the page
# files and the help there; a file the user changed stays as it is.
mkdir -p "$scratch/data/velmora"
echo "mine" > "$scratch/data/velmora/help.html"
started=$(XDG_DATA_HOME="$scratch/data" VELMORA_PROGRAM=pwd "$prefix/bin/velmora")
[ "$started" = "$scratch/data/velmora" ] || { echo "started in $started"; exit 1; }
for f in velmoralib.js velmora.html velmora.css bg.jpg; do
  cmp -s "$prefix/share/velmora/$f" "$scratch/data/velmora/$f" || { echo "not copied: $f"; exit 1; }
done
[ "$(cat "$scratch/data/velmora/help.html")" = "mine" ] || { echo "help.html replaced"; exit 1; }
echo "install layout and launcher: ok"
