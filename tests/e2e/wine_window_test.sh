#!/usr/bin/env bash
# Starts the Windows executable under Wine on the X server of the test run,
# waits for its window, leaves a screenshot, and closes it politely: taskkill
# without /F sends WM_CLOSE to every top-level window of the process, the
# framework's hidden message window included, and the program must still end.
set -u
exe=$1
wine_run=$2
shots=$3

if [ -z "${DISPLAY:-}" ]; then echo "no X display: skipped"; exit 77; fi
mkdir -p "$shots"

failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$wine_run" "$exe" &
app=$!
trap 'kill $app 2>/dev/null' EXIT

win=""
for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^tsr_installer$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || { fail "no window within 60 s"; echo "0 passed, 1 failed"; exit 1; }

sleep 3    # later frames too must be drawn: Wine's vblank wait never returns
geometry=$(xdotool getwindowgeometry "$win" | sed -n 's/.*Geometry: //p')
[ "$geometry" = "600x600" ] || fail "client area is $geometry, not 600x600"
import -window root "$shots/wine_main_window.png" || fail "no screenshot"

"$wine_run" taskkill /IM "$(basename "$exe")" >/dev/null
# Under Wine the window takes about 2 s to go; a loaded machine takes longer.
for _ in $(seq 1 300); do kill -0 $app 2>/dev/null || break; sleep 0.1; done
kill -0 $app 2>/dev/null && fail "closing the window did not end the program"

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
