#!/usr/bin/env bash
# The real window through a long run: every flush of a file's data is held
# back (strace delays fdatasync) so that installing the four formats takes
# seconds. While it runs, the progress area changes from one screenshot to
# the next and hovering a link still writes its hint; then the finished
# screen shows SUCCESS! and its hint line says where the formats went.
set -u
app=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)

. "$here/window_lib.sh"
start_in_isolated_home "$shots"
command -v strace >/dev/null || { echo "strace missing: skipped"; exit 77; }

strace -f -qq -o /dev/null -e trace=fdatasync -e inject=fdatasync:delay_enter=150000 "$app" &
tracer=$!

# The program is strace's child: its window is found by name, once settled
# at its content's size (the framework replaces its first window).
settled_by_name() {
    local id
    for id in $(xdotool search --onlyvisible --name '^tsr_installer$' 2>/dev/null); do
        [ "$(xdotool getwindowgeometry "$id" 2>/dev/null | sed -n 's/.*Geometry: //p')" = "600x600" ] && { echo "$id"; return 0; }
    done
    return 1
}
win=""
for _ in $(seq 1 100); do
    win=$(settled_by_name) && break
    sleep 0.2
done
sleep 1
win=$(settled_by_name) || { fail "no window"; finish; }

area() { import -window "$win" -crop 552x228+24+168 +repage "$1"; }
hint_lit() { awk -v v="$(import -window "$win" -crop 150x18+100+540 +repage -format '%[fx:maxima]' info:)" 'BEGIN { exit !(v > 0.2) }'; }

xdotool mousemove --window "$win" 519 147 click 1     # SELECT ALL
sleep 0.3
xdotool mousemove --window "$win" 546 471 click 1     # INSTALL
sleep 0.4
area "$home/progress-1.png"
sleep 0.8
area "$home/progress-2.png"
cp "$home/progress-2.png" "$shots/run_progress.png"
difference=$(compare -metric AE "$home/progress-1.png" "$home/progress-2.png" null: 2>&1)
[ "$difference" != "0" ] || fail "the progress area did not change during the run"

# A link's hint during the run; the window takes the pointer.
xdotool mousemove --window "$win" 72 456
sleep 0.4
hint_lit || fail "hovering EULA during the run wrote no hint"
xdotool mousemove --window "$win" 300 585

# The finished screen: the large install icon turns green.
finished=0
for _ in $(seq 1 150); do
    pixel=$(import -window "$win" -crop 1x1+300+279 +repage -format '%[fx:int(255*r)] %[fx:int(255*g)]' info:)
    read -r red green <<< "$pixel"
    if [ "$green" -gt 180 ] && [ "$red" -lt 170 ]; then finished=1; break; fi
    sleep 0.2
done
[ $finished -eq 1 ] || fail "no green SUCCESS! screen within 30 s ($pixel)"
sleep 0.3
import -window "$win" "$shots/run_finished.png"
hint_lit || fail "the finished screen's hint line is empty"

for item in .vst3/Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3 .vst/Vantorix3.dll .clap/Vantorix3.clap \
            .local/share/Avid/Audio/Plug-Ins/Vantorix3.aaxplugin/Contents/x64/Vantorix3.aaxplugin; do
    [ -f "$home/$item" ] || fail "$item not installed"
done
ls -a "$home/.vst3" "$home/.clap" | grep -q tsr-work && fail "a working folder was left"

# The program is strace's child: closed first, so nothing holds the run's output.
/usr/bin/python3 "$here/close_window.py" "$win"
for _ in $(seq 1 50); do kill -0 $tracer 2>/dev/null || break; sleep 0.1; done
pkill -P $tracer 2>/dev/null
kill $tracer 2>/dev/null
finish
