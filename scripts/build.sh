#!/usr/bin/env bash
# Configures and builds the Linux program, its tests and benchmarks in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

# TSR_WARNINGS_AS_ERRORS=ON (the test command sets it) fails on any warning.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTSR_WARNINGS_AS_ERRORS="${TSR_WARNINGS_AS_ERRORS:-OFF}"
cmake --build build -j"$(nproc)"
