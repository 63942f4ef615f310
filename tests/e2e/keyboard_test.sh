#!/usr/bin/env bash
# The real window driven by keys alone, as someone without a mouse uses it:
# Tab to a tile and Space selects it, Tab to INSTALL and Return installs it,
# and each panel opens on Return, closes on Escape and leaves the focus on
# the link that opened it. The focus ring shows where focus is; a mouse user
# never sees it, so the window starts without one.
set -u
app=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)

. "$here/window_lib.sh"
start_in_isolated_home "$shots"

"$app" &
pid=$!
win=$(settled_window $pid) || { fail "no window"; finish; }
sleep 0.7

rgb() { import -window "$win" -crop 1x1+"$1"+"$2" +repage -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]' info:; }
is_blue() { read -r r g b <<< "$(rgb "$1" "$2")"; [ "$r" -lt 40 ] && [ "$g" -gt 120 ] && [ "$b" -gt 180 ]; }
is_ring() { read -r r g b <<< "$(rgb "$1" "$2")"; [ "$r" -gt 220 ] && [ "$g" -gt 220 ] && [ "$b" -gt 220 ]; }
is_yellow() { read -r r g b <<< "$(rgb "$1" "$2")"; [ "$r" -gt 180 ] && [ "$g" -gt 170 ] && [ "$b" -lt 130 ]; }
keys() { xdotool key --window "$win" --delay 80 "$@"; sleep 0.4; }
panel_open() { ! is_blue 300 3; }    # a panel covers the blue bar at the top

# Nothing is installed, so nothing is selected; no control has focus, and
# no ring shows. The first Tab reaches the first tile.
is_ring 21 210 && fail "a focus ring shows before any key"
keys Tab
is_ring 21 210 || fail "the first Tab did not reach VST3"
keys Tab                                        # VST3 -> CLAP
is_ring 303 210 || fail "Tab drew no ring around CLAP"
is_yellow 306 210 && fail "CLAP was selected before Space"
keys space
is_yellow 306 210 || fail "Space did not select CLAP"
import -window "$win" "$shots/keyboard_selected.png"

keys Tab Tab Tab Tab Return                     # AAX, VST2, SELECT ALL, INSTALL
for _ in $(seq 1 50); do [ -e "$home/.clap/Vantorix3.clap" ] && break; sleep 0.1; done
sleep 0.5
[ -f "$home/.clap/Vantorix3.clap" ] || fail "Return on INSTALL did not install CLAP"
for item in .vst3/Vantorix3.vst3 .vst/Vantorix3.dll .local/share/Avid/Audio/Plug-Ins/Vantorix3.aaxplugin; do
    [ -e "$home/$item" ] && fail "Return on INSTALL installed $item, which was not selected"
done
read -r red green _ <<< "$(rgb 300 279)"
{ [ "$green" -gt 180 ] && [ "$red" -lt 170 ]; } || fail "the finished screen does not show success"
import -window "$win" "$shots/keyboard_finished.png"

# Focus went to the result when INSTALL went; the links follow it. Each
# panel: Return opens it, Escape closes it, the ring is back on its link,
# and Return there opens the same panel again.
step=(Tab "Tab Tab" "Tab Tab" Tab)
for i in 0 1 2 3; do
    set -- "EULA 21 456" "SETTINGS 225 456" "SUPPORT 123 486" "CHANGES 225 486"
    shift $i; set -- $1
    # shellcheck disable=SC2086
    keys ${step[$i]}
    is_ring "$2" "$3" || fail "Tab did not reach $1"
    keys Return
    panel_open || { fail "Return on $1 opened no panel"; continue; }
    keys Escape
    panel_open && { fail "Escape did not close the $1 panel"; continue; }
    is_ring "$2" "$3" || fail "after Escape the focus is not on $1"
    keys Return
    panel_open || fail "Return after Escape did not reopen $1: focus was elsewhere"
    keys Escape
done

kill -0 $pid 2>/dev/null || fail "the program ended"
# Closed with a control focused and the ring shown: the program ends cleanly.
close_and_wait $pid
wait $pid
code=$?
[ $code -eq 0 ] || fail "closing the window ended the program with code $code"
finish
