#!/usr/bin/env bash
# Installs what is missing, builds, and starts the installer window. Without a
# display it runs on a virtual one (Xvfb), which is only useful for screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh

if [ -n "${DISPLAY:-}" ]; then
    exec build/tsr_installer
else
    echo "No DISPLAY: starting on a virtual X server."
    exec xvfb-run -a build/tsr_installer
fi
