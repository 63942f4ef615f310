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
    [ -n "$wine_run" ] && rm -rf "$prefix/drive_c/Program Files/Tessarine"
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
    # Wine's command interpreter, loaded, now and then reports before the
    # program has ended: asked twice before the code is judged.
    whole=""
    for _ in 1 2; do
        whole=$("$wine_run" cmd /c 'C:\tsr-cli.bat' 2>/dev/null | tr -d '\r' | grep '^code=')
        [ "$whole" = "code=1639" ] && break
    done
    [ "$whole" = "code=1639" ] || fail "the whole code is not 1639 for Windows: '$whole'"
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

# 6. The typo of a backslash before the closing quote: Windows' own argument
# rules read the rest of the line into the folder, which is refused before
# anything is kept, and later runs are as before.
before=$(cd "$(dirname "$settings")" && find Tessarine -type f -exec md5sum {} + | sort; items)
run "/VST3DIR=${custom_windows}\" /COMPONENTS=vst3 /LOG=${log_windows}" /VERYSILENT; code=$?
expect_code "$code" 1639 || fail "the typo gave $code"
after=$(cd "$(dirname "$settings")" && find Tessarine -type f -exec md5sum {} + | sort; items)
[ "$before" = "$after" ] || fail "the typo changed the disk"
[ -z "$wine_run" ] && { grep -q "A backslash before a closing quote" "$scratch/out" || fail "the typo's line does not say why: $(cat "$scratch/out")"; }
run /VERYSILENT /COMPONENTS=clap; code=$?
expect_code "$code" 0 || fail "a plain run after the typo gave $code"

# 7. Windows knows the product is installed: the uninstall entry and the kept
# manager; the entry's own quiet uninstall removes every format, the entry
# and (at the next restart, where the system needs one) the manager.
code_key='Tessarine.Vantorix3'
if [ -n "$wine_run" ]; then
    key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code_key"
    entry() { "$wine_run" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
    kept="$prefix/drive_c/Program Files/Tessarine/Vantorix3/tsr_installer.exe"
else
    entry() { sed -n "s/.* $1=\"\([^\"]*\)\".*/\1/p" "$HOME/.local/share/tsr_installer/uninstall/$code_key.xml" 2>/dev/null | sed 's/&quot;/"/g'; }
    kept="$HOME/.local/lib/Tessarine/Vantorix3/tsr_installer"
fi
run /VERYSILENT /COMPONENTS=vst3,aax; code=$?
expect_code "$code" 0 || fail "installing for the entry gave $code"
[ "$(entry DisplayVersion)" = "3.3.0" ] || fail "no entry with the product's version: '$(entry DisplayVersion)'"
[ "$(entry Publisher)" = "Tessarine" ] || fail "the entry names no publisher"
[ -f "$kept" ] && cmp -s "$kept" "$app" || fail "the manager is not kept at $kept"
quiet=$(entry QuietUninstallString)
case "$quiet" in *'" /VERYSILENT /UNINSTALL') ;; *) fail "the quiet uninstall is '$quiet'" ;; esac

# Run as a deployment tool runs it: the quoted program, then its switches.
quiet_words=$(printf '%s' "$quiet" | sed 's/\\/\\\\/g')
eval "set -- $quiet_words"
if [ -n "$wine_run" ]; then
    "$wine_run" "$@" >/dev/null 2>&1; code=$?
else
    "$@" >/dev/null 2>&1; code=$?
fi
expect_code "$code" 0 || fail "the entry's quiet uninstall gave $code"
[ -z "$(items)" ] || fail "left after the entry's uninstall: $(items)"
[ -z "$(entry DisplayVersion)" ] || fail "the entry is still there after removing everything"
if [ -n "$wine_run" ]; then
    [ -f "$kept" ] || fail "the running manager's file was removed at once"
    "$wine_run" wineboot -r >/dev/null 2>&1
    for _ in $(seq 1 50); do [ -e "$kept" ] || break; sleep 0.2; done
fi
[ -e "$kept" ] && fail "the kept manager is still there after the restart: $kept"
[ -e "$(dirname "$kept")" ] && fail "the kept manager's folder is still there"

# An older version run after a newer one leaves the newer one's entry.
if [ -n "$wine_run" ]; then
    "$wine_run" reg add "$key" /v DisplayVersion /d 9.0.0 /f >/dev/null 2>&1
else
    mkdir -p "$HOME/.local/share/tsr_installer/uninstall"
    printf '<UninstallEntry><Text DisplayVersion="9.0.0"/></UninstallEntry>' > "$HOME/.local/share/tsr_installer/uninstall/$code_key.xml"
fi
run /VERYSILENT /COMPONENTS=clap; code=$?
expect_code "$code" 0 || fail "the older install gave $code"
[ "$(entry DisplayVersion)" = "9.0.0" ] || fail "an older version replaced a newer one's entry: '$(entry DisplayVersion)'"
if [ -n "$wine_run" ]; then "$wine_run" reg delete "$key" /f >/dev/null 2>&1; else rm -rf "$HOME/.local/share/tsr_installer"; fi

# 8. /SILENT closed while it waits for a folder another installer holds: it
# gives up at once, says the user cancelled, and the log ends with the code.
if [ -z "$wine_run" ] && [ -n "$display" ]; then
    mkdir -p "$clap"
    if [ "$(id -u)" -eq 0 ]; then
        read -r dev ino <<< "$(stat -c '%d %i' "$clap")"
        mkdir -p /run/tsr_installer && chmod 700 /run/tsr_installer
        held=/run/tsr_installer/$(printf '%x-%x' "$dev" "$ino").lock
    else
        held=$clap
    fi
    flock -o "$held" sleep 20 &
    holder=$!
    rm -f "$log"
    # JUCE registers the close protocol only when the atoms exist first.
    DISPLAY=$display /usr/bin/python3 "$(dirname "$0")/close_window.py" --hold "$scratch/atoms" &
    atoms=$!
    for _ in $(seq 1 50); do [ -e "$scratch/atoms" ] && break; sleep 0.1; done
    DISPLAY=$display run /SILENT /COMPONENTS=clap "/LOG=$log_windows" &
    pid=$!
    win=""
    for _ in $(seq 1 100); do
        win=$(DISPLAY=$display xdotool search --onlyvisible --pid $pid --name '^tsr_installer$' 2>/dev/null | head -1)
        [ -n "$win" ] && break
        sleep 0.1
    done
    sleep 0.5
    # Asked again while it runs: a loaded machine once dropped the first
    # request, and the run then waited out its five seconds. The time is
    # that from the request it heard.
    for _ in 1 2 3; do
        DISPLAY=$display /usr/bin/python3 "$(dirname "$0")/close_window.py" "$win" >/dev/null 2>&1
        closed=$(date +%s%N)
        for _ in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.02; done
        took=$(( ($(date +%s%N) - closed) / 1000000 ))
        kill -0 $pid 2>/dev/null || break
    done
    wait $pid; code=$?
    kill $holder $atoms 2>/dev/null
    [ -n "$win" ] || fail "/SILENT showed no window while waiting"
    [ $took -lt 1000 ] || fail "closing /SILENT while it waited took $took ms"
    expect_code "$code" 1602 || fail "a /SILENT run closed mid-way gave $code, not 1602"
    [ "$(tail -n 1 "$log" | tr -d '\r')" = "Exit code: 1602" ] || fail "the log's last line is '$(tail -n 1 "$log")': $(cat "$log")"
fi

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
