#!/usr/bin/env bash
# The real window against what nobody clicks on purpose:
#   - a settings file with a self-referencing entity: the program starts,
#     shows its window and leaves the file byte for byte;
#   - the keyboard under every panel: Tab, Shift+Tab, arrows, Return and
#     Space in sequences write nothing to disk and change nothing on the
#     main screen;
#   - a newer CLAP binary than the one carried: an INSTALL click right after
#     start leaves it byte for byte, and with nothing selected starts no run.
set -u
app=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)

. "$here/window_lib.sh"
start_in_isolated_home "$shots"
settings=$home/.local/share/Tessarine/PluginManagerSettings.txt

# 1. A hostile settings file.
printf '<!DOCTYPE r [<!ENTITY a "x&a;">]><r VST3_Path="&a;"/>' > "$settings"
cp "$settings" "$home/hostile-copy"
"$app" &
pid=$!
win=$(settled_window $pid) || fail "no 600x600 window with a recursive entity in the settings file"
sleep 0.5
kill -0 $pid 2>/dev/null || fail "the program ended with a recursive entity in the settings file"
cmp -s "$settings" "$home/hostile-copy" || fail "the hostile settings file was changed"
close_and_wait $pid
kill -0 $pid 2>/dev/null && fail "did not quit"
rm -f "$settings"

# 2. The keyboard under each panel. Nothing is installed, so nothing starts
#    selected: a key that reached a tile or INSTALL would show, on disk or in
#    the picture of the main screen. Each sequence meets a panel just opened:
#    Space and Return press only the control a panel opens on, Tab and the
#    arrows walk the whole panel. (Return on a panel's Close would close it,
#    and keys after that rightly reach the main screen.)
"$app" &
pid=$!
win=$(settled_window $pid) || { fail "no window"; finish; }
sleep 0.5

park() { xdotool mousemove --window "$win" 552 33; sleep 0.4; }   # over the panels' close control only
open_and_close() {   # x y of a main-screen link, then xdotool key sequences to send, each to a fresh panel
    local x=$1 y=$2; shift 2
    for keys in "$@"; do
        xdotool mousemove --window "$win" "$x" "$y" click 1
        sleep 0.4
        # shellcheck disable=SC2086
        xdotool key --window "$win" --delay 60 $keys
        sleep 0.2
        park
        xdotool click 1
        sleep 0.4
    done
}

# The main screen as it looks with the pointer parked, after one panel came and went.
open_and_close 72 456 ""
import -window "$win" "$home/before.png"

sequences=("space" "Return" "Up Down Left Right Return" "Tab Tab Tab" "shift+Tab shift+Tab shift+Tab"
           "Tab shift+Tab space Return" "Tab Tab Tab Tab Tab Tab Tab Tab Tab Tab")
for panel in "EULA 72 456" "CHANGES 276 486" "SUPPORT 174 486" "SETTINGS 276 456"; do
    set -- $panel
    open_and_close "$2" "$3" "${sequences[@]}"
    import -window "$win" "$home/after.png"
    # A focus ring coming and going repaints part of a link's rounded corner,
    # whose edge pixels can then differ by a level or two: not a change.
    difference=$(compare -metric AE -fuzz 3% "$home/before.png" "$home/after.png" null: 2>&1)
    [ "$difference" = "0" ] || { fail "keys under the $1 panel changed the main screen ($difference pixels)";
                                 cp "$home/before.png" "$shots/keyboard_before_panels.png"
                                 cp "$home/after.png" "$shots/keyboard_under_$1.png"; }
done

for item in .vst3/Vantorix3.vst3 .vst/Vantorix3.dll .clap/Vantorix3.clap .local/share/Avid/Audio/Plug-Ins/Vantorix3.aaxplugin; do
    [ -e "$home/$item" ] && fail "keys under a panel installed $item"
done
kill -0 $pid 2>/dev/null || fail "the program ended"
close_and_wait $pid

# 3. A newer copy is not downgraded by the first click.
mkdir -p "$home/.clap"
/usr/bin/python3 "$here/../../tools/pe_stub.py" "$home/.clap/Vantorix3.clap" --version 10.0.0.0
cp "$home/.clap/Vantorix3.clap" "$home/newer-copy"
"$app" &
pid=$!
win=$(settled_window $pid) || { fail "no window"; finish; }
sleep 0.5
xdotool mousemove --window "$win" 546 471 click 1    # INSTALL
sleep 1
cmp -s "$home/.clap/Vantorix3.clap" "$home/newer-copy" || fail "INSTALL right after start replaced a newer CLAP copy"
# Nothing was selected, so nothing ran: the tiles stay, and the hint line
# asks for a format (it once showed a green SUCCESS! for doing nothing).
read -r red green <<< "$(import -window "$win" -crop 1x1+300+279 +repage -format '%[fx:int(255*r)] %[fx:int(255*g)]' info:)"
{ [ "$green" -gt 180 ] && [ "$red" -lt 170 ]; } && fail "INSTALL with nothing selected showed a finished screen"
lit=$(import -window "$win" -crop 150x18+100+540 +repage -format '%[fx:maxima]' info:)
awk -v v="$lit" 'BEGIN { exit !(v > 0.2) }' || fail "INSTALL with nothing selected said nothing on the hint line"
close_and_wait $pid
finish
