#!/usr/bin/env bash
# Builds the program and starts it in its per-user folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "velmora: no display to open the window on (DISPLAY is not set); start it from a desktop session." >&2
  exit 1
fi

# The program keeps its settings and reads its web view files in the folder
# it starts in: a folder of the user's, never the build tree.
home="${XDG_DATA_HOME:-$HOME/.local/share}/velmora"
mkdir -p "$home"
for f in velmoralib.js velmora.html velmora.css bg.jpg help.html; do
  [ -e "$home/$f" ] || cp "$root/resources/$f" "$home/$f"
done
cd "$home"
exec "$root/build/app/velmora"
