#!/usr/bin/env bash
# Builds the program and starts it in its per-user folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh"

# The same per-user start folder as the installed program.
VELMORA_PROGRAM="$root/build/app/velmora" VELMORA_RESOURCES="$root/resources" exec "$root/scripts/velmora-start" "$@"
