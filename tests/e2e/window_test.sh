#!/usr/bin/env bash
# Starts the real installer window under the X server of the test run, checks
# its size, the settings file it writes, that two copies run side by side and
# that closing one quits only that one. Leaves a screenshot for people to look at.
set -u
app=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ]; then echo "no X display: skipped"; exit 77; fi

home=$(mktemp -d /tmp/tsr-e2e-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$home"' EXIT
mkdir -p "$home/.local/share/Tessarine" "$home/tmp" "$shots"
export HOME=$home TMPDIR=$home/tmp
unset XDG_DATA_HOME VST_PATH

failed=0
fail() { echo "FAIL: $*"; failed=1; }

windows_of() {   # window ids of one process
    xdotool search --all --pid "$1" --name '^tsr_installer$' 2>/dev/null
}

wait_for_window() {
    for _ in $(seq 1 100); do
        ids=$(windows_of "$1")
        if [ -n "$ids" ]; then echo "$ids"; return 0; fi
        sleep 0.2
    done
    return 1
}

/usr/bin/python3 "$here/close_window.py" --hold "$home/atoms-ready" &
for _ in $(seq 1 100); do [ -e "$home/atoms-ready" ] && break; sleep 0.1; done
"$app" extra arguments --are-ignored &
first=$!
win=$(wait_for_window $first) || { fail "no window within 20 s"; exit 1; }
[ "$(echo "$win" | wc -l)" -eq 1 ] || fail "expected one window, got: $win"
win=$(echo "$win" | head -1)

geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "600x600" ] || fail "client area is $geometry, not 600x600"

sleep 0.5
import -window "$win" "$shots/main_window.png" || fail "no screenshot"

settings=$home/.local/share/Tessarine/PluginManagerSettings.txt
grep -q 'VST2_Path="'"$home"'/.vst"' "$settings" || fail "settings file not written as expected"

"$app" &
second=$!
win2=$(wait_for_window $second) || fail "second copy opened no window"

/usr/bin/python3 "$here/close_window.py" "$win"
for _ in $(seq 1 50); do kill -0 $first 2>/dev/null || break; sleep 0.1; done
if kill -0 $first 2>/dev/null; then fail "closing the window did not quit"; else
    wait $first; status=$?; [ $status -eq 0 ] || fail "exit status $status"; fi
kill -0 $second 2>/dev/null || fail "closing one copy ended the other"

/usr/bin/python3 "$here/close_window.py" "$win2"
for _ in $(seq 1 50); do kill -0 $second 2>/dev/null || break; sleep 0.1; done
kill -0 $second 2>/dev/null && fail "second copy did not quit"

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
