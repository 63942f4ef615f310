# Helpers shared by the real-window tests: sourced, not run.

# Skips without an X server; otherwise points HOME and TMPDIR into a fresh
# folder (removed at exit, with any program left running) that has a
# settings folder, and keeps the window-manager atoms alive.
start_in_isolated_home() {   # screenshot folder
    if [ -z "${DISPLAY:-}" ]; then echo "no X display: skipped"; exit 77; fi
    home=$(mktemp -d /tmp/tsr-e2e-XXXXXX)
    trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$home"' EXIT
    mkdir -p "$home/.local/share/Tessarine" "$home/tmp" "$1"
    export HOME=$home TMPDIR=$home/tmp
    unset XDG_DATA_HOME VST_PATH
    hold_atoms "$home/atoms-ready"
}

failed=0
fail() { echo "FAIL: $*"; failed=1; }

windows_of() {   # visible window ids of one process; JUCE replaces its first
                 # window when it switches to the native title bar
    xdotool search --all --onlyvisible --pid "$1" --name '^tsr_installer$' 2>/dev/null
}

wait_for_window() {
    for _ in $(seq 1 100); do
        ids=$(windows_of "$1")
        if [ -n "$ids" ]; then echo "$ids"; return 0; fi
        sleep 0.2
    done
    return 1
}

settled_window() {   # pid; the window once it has its content's size, or nothing
    local win geometry
    for _ in $(seq 1 50); do
        win=$(windows_of "$1" | head -1)
        geometry=$(xdotool getwindowgeometry "$win" 2>/dev/null | sed -n 's/.*Geometry: //p')
        [ "$geometry" = "600x600" ] && { echo "$win"; return 0; }
        sleep 0.1
    done
    return 1
}

# Keeps the window-manager atoms alive for the whole test (see close_window.py).
hold_atoms() {   # flag-file
    /usr/bin/python3 "$here/close_window.py" --hold "$1" &
    for _ in $(seq 1 100); do [ -e "$1" ] && break; sleep 0.1; done
}

close_and_wait() {   # pid; asks again every two seconds for half a minute: a busy machine can drop
                     # a request, and a run still finishing holds the window until its flushes are
                     # done, which on a disk loaded by other tests once took more than ten seconds
    for _ in $(seq 1 15); do
        id=$(windows_of "$1" | head -1)
        [ -n "$id" ] && /usr/bin/python3 "$here/close_window.py" "$id"
        for _ in $(seq 1 20); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
    done
}

finish() {
    if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
    exit $failed
}
