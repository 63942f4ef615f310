#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test on a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

xvfb-run -a ctest --test-dir build --output-on-failure -j2
