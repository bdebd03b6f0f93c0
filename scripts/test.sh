#!/usr/bin/env bash
# Installs what the build and the tests need (Debian packages), builds the
# suite twice (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer)
# and runs the whole test suite on both builds.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ zlib1g-dev libgtest-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan "${generator[@]}" -DCMAKE_BUILD_TYPE=Debug -DVGMTOOLS_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
