#!/usr/bin/env bash
# Configures and builds the Linux program, its tests and benchmarks in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
