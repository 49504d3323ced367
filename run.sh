#!/usr/bin/env bash
# Builds the program alone (installing only what that needs) and starts it
# in its per-user folder. ./test.sh builds and runs everything else.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh" program

# The same per-user start folder as the installed program.
VELMORA_PROGRAM="$root/build/app/velmora" VELMORA_RESOURCES="$root/resources" exec "$root/scripts/velmora-start" "$@"
