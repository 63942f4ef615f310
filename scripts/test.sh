#!/usr/bin/env bash
# Installs what is missing, builds both programs, and runs every test: the
# Linux suite, the Windows suite under Wine, and the Linux suite's Debug builds
# under sanitizers, each on a virtual X server. Any warning in the program's
# own code fails the build; any failure fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."

export TSR_WARNINGS_AS_ERRORS=ON

bash scripts/setup.sh || exit 1
bash scripts/build.sh || exit 1
bash scripts/build-windows.sh || exit 1

status=0
echo "== Linux suite"
xvfb-run -a ctest --test-dir build --output-on-failure -j2 || status=1
echo "== Windows suite (Wine)"
xvfb-run -a bash scripts/test-windows.sh || status=1
xvfb-run -a bash scripts/test-sanitized.sh || status=1
exit $status
