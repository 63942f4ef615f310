#!/usr/bin/env bash
# Starts the real installer window under the X server of the test run, checks
# its size and the settings file it writes, hovers a tile and reads the hint
# line, opens and closes each panel, installs VST3 with two clicks, checks that two copies run side by side
# and that closing one quits only that one. Leaves screenshots of the start
# screen and the finished screen for people to look at.
set -u
app=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)

. "$here/window_lib.sh"
start_in_isolated_home "$shots"
"$app" extra words are ignored &
first=$!
win=$(wait_for_window $first) || { fail "no window within 20 s"; exit 1; }
[ "$(echo "$win" | wc -l)" -eq 1 ] || fail "expected one window, got: $win"
win=$(echo "$win" | head -1)

# The window settles at its content's size once that is set.
win=$(settled_window $first) || fail "client area is not 600x600"

sleep 0.5
import -window "$win" "$shots/start_screen.png" || fail "no screenshot"

# Brightest value (0..1) in a part of a window's picture.
brightest() {   # window x y width height
    import -window "$1" -crop "$4x$5+$2+$3" +repage -format '%[fx:maxima]' info: 2>/dev/null
}
bright() { awk -v v="$1" 'BEGIN { exit !(v > 0.2) }'; }

# Each extra button opens its panel over the whole screen; the close control
# (552, 33) brings the main screen back. The accent bar's blue at (300, 3)
# tells which is showing.
blue_at_top() {
    [ "$(import -window "$1" -crop 1x1+300+3 +repage -format '%[fx:int(255*b)]' info:)" -gt 150 ]
}
for panel in "EULA 72 456" "CHANGES 276 486" "SUPPORT 174 486" "SETTINGS 276 456"; do
    set -- $panel
    xdotool mousemove --window "$win" "$2" "$3" click 1
    sleep 0.5
    blue_at_top "$win" && fail "$1 opened no panel over the main screen"
    import -window "$win" "$shots/panel_$(echo "$1" | tr 'A-Z' 'a-z').png"
    xdotool mousemove --window "$win" 552 33 click 1
    sleep 0.4
    blue_at_top "$win" || fail "closing the $1 panel did not return to the main screen"
done
xdotool mousemove --window "$win" 300 580

# The hint line (24, 540, 552, 18) shows only "1.3.0", centred, until the
# pointer rests on a tile; "Select to install VST3" reaches far further left.
bright "$(brightest "$win" 100 540 150 18)" && fail "hint line not empty at the left before hovering"
xdotool mousemove --window "$win" 159 210
sleep 0.5
bright "$(brightest "$win" 100 540 150 18)" || fail "hovering the VST3 tile wrote no hint"

xdotool click 1                                   # select VST3
sleep 0.3
xdotool mousemove --window "$win" 546 471 click 1 # INSTALL
sleep 1
import -window "$win" "$shots/finished_screen.png" || fail "no screenshot of the finished screen"
[ -f "$home/.vst3/Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3" ] || fail "VST3 not installed by the clicks"
[ -e "$home/.clap/Vantorix3.clap" ] && fail "CLAP installed though not selected"
pixel=$(import -window "$win" -crop 1x1+300+279 +repage -format '%[fx:int(255*r)] %[fx:int(255*g)]' info:)
read -r red green <<< "$pixel"
{ [ "$green" -gt 180 ] && [ "$red" -lt 170 ]; } || fail "no green install icon on the finished screen ($pixel)"

settings=$home/.local/share/Tessarine/PluginManagerSettings.txt
grep -q 'VST2_Path="'"$home"'/.vst"' "$settings" || fail "settings file not written as expected"

"$app" &
second=$!
win2=$(wait_for_window $second) || fail "second copy opened no window"

close_and_wait $first
if kill -0 $first 2>/dev/null; then fail "closing the window did not quit (windows now: $(windows_of $first | tr "\n" " "))"; else
    wait $first; status=$?; [ $status -eq 0 ] || fail "exit status $status"; fi
kill -0 $second 2>/dev/null || fail "closing one copy ended the other"

close_and_wait $second
kill -0 $second 2>/dev/null && fail "second copy did not quit"

finish
