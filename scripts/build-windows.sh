#!/usr/bin/env bash
# Cross-builds tsr_installer.exe and the Windows test suite in build-windows/.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/common.sh

bash scripts/build-windows-deps.sh

cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release -DTSR_WARNINGS_AS_ERRORS="${TSR_WARNINGS_AS_ERRORS:-OFF}" \
      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DTSR_WINDOWS_DEPS="$(windows_deps_dir)" \
      -DJUCE_DIR=/usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5
cmake --build build-windows -j"$(nproc)"
