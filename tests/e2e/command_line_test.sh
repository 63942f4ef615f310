#!/usr/bin/env bash
# The program as a deployment tool runs it, judged by its exit code, its log
# and what lands on disk: the Windows executable under Wine, or the Linux
# program (whose exit codes the system cuts to their lowest byte).
#
#   command_line_test.sh APP                 the Linux program, without a display
#   command_line_test.sh EXE WINE_RUN        the Windows program under Wine
set -u
app=$1
wine_run=${2:-}

display=${DISPLAY:-}
failed=0
fail() { echo "FAIL: $*"; failed=1; }
scratch=$(mktemp -d /tmp/tsr-cli-XXXXXX)

if [ -n "$wine_run" ]; then
    prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
    common="$prefix/drive_c/Program Files/Common Files"
    vst3="$common/VST3" vst2="$common/VST2" clap="$common/CLAP" aax="$common/Avid/Audio/Plug-Ins"
    settings="$prefix/drive_c/ProgramData/Tessarine"
    custom_windows='C:\tsr-cli-custom\VST3' custom="$prefix/drive_c/tsr-cli-custom/VST3"
    log_windows='C:\tsr-cli.log' log="$prefix/drive_c/tsr-cli.log"
    run() { "$wine_run" "$app" "$@" >"$scratch/out" 2>&1; }
    expect_code() { [ "$1" = "$(( $2 % 256 ))" ]; }
else
    export HOME=$scratch/home TMPDIR=$scratch
    unset XDG_DATA_HOME VST_PATH DISPLAY
    mkdir -p "$HOME"
    vst3=$HOME/.vst3 vst2=$HOME/.vst clap=$HOME/.clap aax=$HOME/.local/share/Avid/Audio/Plug-Ins
    settings=$HOME/.local/share/Tessarine
    custom=$scratch/custom/VST3 custom_windows=$custom
    log=$scratch/cli.log log_windows=$log
    run() { "$app" "$@" >"$scratch/out" 2>&1; }
    expect_code() { [ "$1" = "$(( $2 % 256 ))" ]; }
fi
items() { ls -d "$vst3/Vantorix3.vst3" "$vst2/Vantorix3.dll" "$clap/Vantorix3.clap" "$aax/Vantorix3.aaxplugin" 2>/dev/null; }
cleanup() {
    rm -rf "$scratch" "$settings" "$vst3/Vantorix3.vst3" "$vst2/Vantorix3.dll" "$clap/Vantorix3.clap" \
           "$aax/Vantorix3.aaxplugin" "$(dirname "$custom")" "$log"
}
trap cleanup EXIT
cleanup; mkdir -p "$scratch"
[ -z "$wine_run" ] && mkdir -p "$HOME"

# 1. Two formats, no window, a log.
run /VERYSILENT /COMPONENTS=vst3,clap "/LOG=$log_windows" &
pid=$!
mapped=0
while kill -0 $pid 2>/dev/null; do
    [ -n "${DISPLAY:-}" ] && xdotool search --onlyvisible --name tsr_installer >/dev/null 2>&1 && mapped=1
    sleep 0.05
done
wait $pid; code=$?
expect_code "$code" 0 || fail "installing VST3 and CLAP gave $code"
[ $mapped -eq 0 ] || fail "a window was shown"
[ -d "$vst3/Vantorix3.vst3" ] && [ -f "$clap/Vantorix3.clap" ] || fail "VST3 and CLAP not installed: $(items)"
[ -e "$vst2/Vantorix3.dll" ] || [ -e "$aax/Vantorix3.aaxplugin" ] && fail "VST2 or AAX installed too"
for line in "VST3: installed in" "CLAP: installed in" "Exit code: 0"; do
    grep -q "$line" "$log" || fail "the log lacks \"$line\": $(cat "$log")"
done
grep -q "VST2:" "$log" && fail "the log names VST2, which was not chosen"

# 2. Removed again.
run /VERYSILENT /UNINSTALL; code=$?
expect_code "$code" 0 || fail "uninstalling gave $code"
[ -z "$(items)" ] || fail "left after uninstalling: $(items)"

# 3. A folder of the administrator's choosing, kept in the shared settings.
run /VERYSILENT /COMPONENTS=vst3 "/VST3DIR=$custom_windows"; code=$?
expect_code "$code" 0 || fail "installing into a chosen folder gave $code"
[ -f "$custom/Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3" ] || fail "VST3 not in the chosen folder"
[ -e "$vst3/Vantorix3.vst3" ] && fail "VST3 also in the default folder"
grep -qF "VST3_Path=\"$custom_windows\"" "$settings/PluginManagerSettings.txt" || fail "the chosen folder is not in the settings file"

# 4. A switch nobody knows: its code, one line, nothing touched.
before=$(cd "$(dirname "$settings")" && find Tessarine -type f -exec md5sum {} + | sort; items)
run /VERYSILENT /INSTALLDIR=C:\\x; code=$?
expect_code "$code" 1639 || fail "an unknown switch gave $code"
after=$(cd "$(dirname "$settings")" && find Tessarine -type f -exec md5sum {} + | sort; items)
[ "$before" = "$after" ] || fail "an unknown switch changed the disk"
if [ -z "$wine_run" ]; then
    grep -q 'unknown switch "/INSTALLDIR' "$scratch/out" || fail "no message for the unknown switch: $(cat "$scratch/out")"
else
    # A Linux exit status keeps only the lowest byte; Windows' own command
    # interpreter sees the whole code.
    printf 'start /wait "" "%s" /VERYSILENT /NOPE\r\necho code=%%ERRORLEVEL%%\r\n' "$(winepath -w "$app" 2>/dev/null || echo "$app")" \
        > "$prefix/drive_c/tsr-cli.bat"
    "$wine_run" cmd /c 'C:\tsr-cli.bat' 2>/dev/null | tr -d '\r' | grep -q '^code=1639$' || fail "the whole code is not 1639 for Windows"
    rm -f "$prefix/drive_c/tsr-cli.bat"
fi

# 5. /SILENT: the window shows the run, then closes by itself with the code.
if [ -n "$display" ]; then
    DISPLAY=$display run /SILENT /COMPONENTS=clap &
    pid=$!
    mapped=0
    for _ in $(seq 1 600); do
        kill -0 $pid 2>/dev/null || break
        DISPLAY=$display xdotool search --onlyvisible --name '^tsr_installer$' >/dev/null 2>&1 && mapped=1
        sleep 0.1
    done
    if kill -0 $pid 2>/dev/null; then fail "/SILENT did not close by itself"; kill $pid; fi
    wait $pid; code=$?
    expect_code "$code" 0 || fail "/SILENT gave $code"
    [ $mapped -eq 1 ] || fail "/SILENT showed no window"
    [ -f "$clap/Vantorix3.clap" ] || fail "/SILENT did not install CLAP"
fi

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
