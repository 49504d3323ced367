#!/usr/bin/env bash
# Configures and builds build-asan/: clang, AddressSanitizer and UBSan,
# and the fuzzing targets. Run by test.sh after scripts/setup.sh; arguments
# are handed to the configuring cmake.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cmake -S "$root" -B "$root/build-asan" -DCMAKE_CXX_COMPILER=clang++ -DVELMORA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$root/build-asan" -j"$(nproc)"
