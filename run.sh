#!/usr/bin/env bash
# Builds the program and starts it in its per-user folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh"

# The window needs a display; the command line ("./run.sh --help") does not.
if [ $# -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "velmora: no display to open the window on (DISPLAY is not set); start it from a desktop session." >&2
  exit 1
fi

# The same per-user start folder as the installed program.
VELMORA_PROGRAM="$root/build/app/velmora" VELMORA_RESOURCES="$root/resources" exec "$root/scripts/velmora-start" "$@"
