#!/usr/bin/env bash
# Installs what is missing, builds, and starts the installer window. Without a
# display it runs on a virtual one (Xvfb), which is only useful for screenshots.
#
# Started by an ordinary user, sudo is asked only for missing packages. Started
# through sudo, the window still runs as the user who asked (SUDO_USER), so
# that plug-ins land in that user's folders, never in root's; the build too
# runs as that user when the checkout is theirs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

as_user=()
if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    as_user=(sudo -H -u "$SUDO_USER" env)
    [ -n "${DISPLAY:-}" ] && as_user+=("DISPLAY=$DISPLAY")
    [ -n "${XAUTHORITY:-}" ] && as_user+=("XAUTHORITY=$XAUTHORITY")
fi

if [ ${#as_user[@]} -gt 0 ] && [ "$(stat -c %U .)" = "$SUDO_USER" ]; then
    "${as_user[@]}" bash scripts/build.sh
else
    bash scripts/build.sh
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "${as_user[@]}" build/tsr_installer
else
    echo "No DISPLAY: starting on a virtual X server."
    exec "${as_user[@]}" xvfb-run -a build/tsr_installer
fi
