#!/usr/bin/env bash
# Builds the program and runs every test. Widget tests run offscreen; the
# whole run sits under a virtual X server for the tests that need one.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$root/scripts/setup.sh"
xvfb-run -a ctest --test-dir "$root/build" --output-on-failure --timeout 600 "$@"
