#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages), builds the
# suite twice (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs the whole test suite on both builds.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_missing cmake ninja-build g++ zlib1g-dev libgtest-dev mandoc groff-base

jobs=$(nproc 2>/dev/null || echo 2)
for variant in plain sanitize; do
  if [ $variant = plain ]; then
    dir=build opts=(-DCMAKE_BUILD_TYPE=Release -DTUNDREL_SANITIZE=OFF)
  else
    dir=build-asan opts=(-DCMAKE_BUILD_TYPE=Debug -DTUNDREL_SANITIZE=ON)
  fi
  cmake -S . -B $dir $(cmake_generator) -DTUNDREL_TESTS=ON "${opts[@]}"
  cmake --build $dir -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir $dir --output-on-failure --no-tests=error -j "$jobs"
done
