# Shared by the set-up scripts: sourced, not run.

# Runs a command as root: directly when this is root, else through sudo, which
# is asked only here, so only for what needs it (package installs).
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: '$*' needs root, and sudo is not installed; run it as root once" >&2
        return 1
    fi
}

# Where the cross-built Windows libraries live: a machine-wide cache when it
# is there or this is root, else the user's own cache.
windows_deps_dir() {
    local shared=/var/cache/tsr_installer/mingw-deps
    if [ -n "${TSR_WINDOWS_DEPS:-}" ]; then
        echo "$TSR_WINDOWS_DEPS"
    elif [ -f "$shared/.complete" ] || [ "$(id -u)" -eq 0 ]; then
        echo "$shared"
    else
        echo "${XDG_CACHE_HOME:-$HOME/.cache}/tsr_installer/mingw-deps"
    fi
}
