#!/usr/bin/env bash
# Installs what the build needs (Debian packages), builds the programs and
# runs the command counter on the bundled example file.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_missing cmake g++ make zlib1g-dev
cmake -S . -B build-example $(cmake_generator) -DCMAKE_BUILD_TYPE=Release -DTUNDREL_TESTS=OFF >/dev/null
cmake --build build-example -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
exec build-example/bin/quorvel examples/example.vgm
