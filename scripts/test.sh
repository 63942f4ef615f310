#!/usr/bin/env bash
# Installs what is missing, builds both programs, and runs every test: the
# Linux suite, then the Windows suite under Wine, each on a virtual X server.
# A failure in either fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1
bash scripts/build.sh || exit 1
bash scripts/build-windows.sh || exit 1

status=0
echo "== Linux suite"
xvfb-run -a ctest --test-dir build --output-on-failure -j2 || status=1
echo "== Windows suite (Wine)"
xvfb-run -a bash scripts/test-windows.sh || status=1
exit $status
