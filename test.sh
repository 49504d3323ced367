#!/usr/bin/env bash
# Builds the program and runs every test. Widget tests run offscreen; the
# whole run sits under a virtual X server for the tests that need one.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# Warnings are errors here, so none slips in unseen.
"$root/scripts/setup.sh" all -DVELMORA_WERROR=ON
xvfb-run -a ctest --test-dir "$root/build" --output-on-failure --timeout 600 "$@"

# The same suite built by clang with AddressSanitizer and UBSan (any report
# fails its test), and each fuzzing target for a short fixed time. The
# browser page and the Windows cross-build run none of our C++ there.
"$root/scripts/sanitized.sh" -DVELMORA_WERROR=ON
LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp" \
  xvfb-run -a ctest --test-dir "$root/build-asan" --output-on-failure --timeout 600 \
  -E '^(webview_chromium|win32_layer_mingw)$' "$@"
