#!/usr/bin/env bash
# The real window used with the mouse alone must look exactly as designed:
# the start screen, a hovered tile, every panel, the settings of a file that
# names no folder (four greyed rows), and the finished screen of a run, each
# compared with its reference picture in tests/e2e/reference/. With
# TSR_RECORD_REFERENCES=1 the pictures are written there instead, to be looked
# at before they are committed.
#
#   mouse_path_test.sh APP SCREENSHOTS
set -u
app=$1
shots=$2
here=$(cd "$(dirname "$0")" && pwd)
references=$here/reference

. "$here/window_lib.sh"
if [ -z "${DISPLAY:-}" ]; then echo "no X display: skipped"; exit 77; fi

# One fixed home, so that the paths the screens show are the same each time.
home=/tmp/tsr-mouse-path
rm -rf "$home"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$home"' EXIT
mkdir -p "$home/.local/share/Tessarine" "$home/tmp" "$shots"
export HOME=$home TMPDIR=$home/tmp
unset XDG_DATA_HOME VST_PATH
hold_atoms "$home/atoms-ready"

# Compares the window with a reference, or records it. Antialiased edges may
# differ by a level or two between runs; nothing else may.
matches() {   # window name
    local picture="$shots/mouse_$2.png"
    import -window "$1" "$picture" || { fail "no screenshot of $2"; return; }
    if [ "${TSR_RECORD_REFERENCES:-}" = 1 ]; then
        mkdir -p "$references" && cp "$picture" "$references/$2.png"
        return
    fi
    local differing
    differing=$(compare -metric AE -fuzz 3% "$picture" "$references/$2.png" "$shots/mouse_$2_difference.png" 2>&1 >/dev/null)
    [ "$differing" = "0" ] || fail "$2 differs from its reference in $differing pixels: see $shots/mouse_$2_difference.png"
}

start() {
    "$app" &
    pid=$!
    win=$(settled_window $pid) || { fail "no window"; finish; }
    xdotool mousemove --window "$win" 300 590
    sleep 0.8
}

start
matches "$win" start
xdotool mousemove --window "$win" 159 210
sleep 0.5
matches "$win" hovered_tile

for panel in "EULA 72 456" "CHANGES 276 486" "SUPPORT 174 486" "SETTINGS 276 456"; do
    set -- $panel
    xdotool mousemove --window "$win" "$2" "$3" click 1
    xdotool mousemove --window "$win" 300 590
    sleep 0.6
    matches "$win" "panel_$(echo "$1" | tr 'A-Z' 'a-z')"
    xdotool mousemove --window "$win" 552 33 click 1
    xdotool mousemove --window "$win" 300 590
    sleep 0.4
done

xdotool mousemove --window "$win" 159 210 click 1     # VST3
xdotool mousemove --window "$win" 546 471 click 1     # INSTALL
xdotool mousemove --window "$win" 300 590
sleep 1.2
matches "$win" finished
close_and_wait $pid

# No settings file at all, then one that names no folder and may not be
# rewritten: every row shows the folder in use, greyed; the second also says
# why choices there cannot be kept.
settings_screen() {   # name
    start
    xdotool mousemove --window "$win" 276 456 click 1
    xdotool mousemove --window "$win" 300 590
    sleep 0.6
    matches "$win" "$1"
    close_and_wait $pid
}
rm -rf "$home/.vst3" "$home/.local/share/Tessarine"
settings_screen settings_without_a_file
mkdir -p "$home/.local/share/Tessarine"
printf '<?xml version="1.0" encoding="UTF-8"?>\r\n\r\n<Plugin_Manager_Settings/>\r\n' > "$home/.local/share/Tessarine/PluginManagerSettings.txt"
chmod 444 "$home/.local/share/Tessarine/PluginManagerSettings.txt"
settings_screen settings_naming_no_folder

finish
