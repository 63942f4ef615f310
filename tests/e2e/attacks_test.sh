#!/usr/bin/env bash
# The program run as root, as an administrator's script runs it, while an
# ordinary user ("nobody") attacks it through what that user may write: the
# log's name swapped for a link over and over, a pipe named as a plug-in, the
# install folder's lock taken first, and a browser link opened.
#
#   attacks_test.sh APP
set -u
app=$1

if [ "$(id -u)" -ne 0 ]; then echo "needs root, with nobody as the attacker: skipped"; exit 77; fi
command -v setpriv >/dev/null || { echo "no setpriv: skipped"; exit 77; }

failed=0
fail() { echo "FAIL: $*"; failed=1; }
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
# In the background, with its own process id kept, so that it can be stopped.
start_as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@" & attacker_pids+=($!); }

scratch=$(mktemp -d /tmp/tsr-attacks-XXXXXX)
chmod 755 "$scratch"
attacker_pids=()
cleanup() {
    for pid in "${attacker_pids[@]}" $(jobs -p); do kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT

export HOME=$scratch/home TMPDIR=$scratch/tmp
display=${DISPLAY:-}
unset XDG_DATA_HOME VST_PATH DISPLAY
mkdir -p "$HOME" "$TMPDIR"
users=$scratch/users           # a folder the attacker owns
mkdir -p "$users"
chown 65534:65534 "$users"

# 1. The log's name swapped for a link to a file of root's, again and again.
secret=$scratch/root-only.txt
echo "root's own" > "$secret"
chmod 600 "$secret"
start_as_nobody sh -c "while :; do rm -f '$users/run.log'; ln -s '$secret' '$users/run.log' 2>/dev/null; done"
codes=""
for run in $(seq 1 20); do
    "$app" /VERYSILENT /COMPONENTS=clap "/CLAPDIR=$scratch/clap" "/LOG=$users/run.log" >/dev/null 2>&1
    codes="$codes $?"
done
kill -9 "${attacker_pids[-1]}"; wait "${attacker_pids[-1]}" 2>/dev/null
[ "$(cat "$secret")" = "root's own" ] || fail "the log was written through a link into root's file: $(head -c 200 "$secret")"
case "$codes" in *[1-9]*) fail "runs under the link swap gave codes:$codes" ;; esac
ls "$users"/run*.log >/dev/null 2>&1 || fail "no log was written"

# 2. A pipe named as the VST2 item, in a folder the attacker owns: a silent
# run neither waits on it nor fails for it.
mkdir -p "$users/vst2"
chown 65534:65534 "$users/vst2"
as_nobody mkfifo "$users/vst2/Vantorix3.dll"
timeout 30 "$app" /VERYSILENT /COMPONENTS=vst2 "/VST2DIR=$users/vst2" >/dev/null 2>&1
code=$?
[ $code -eq 124 ] && fail "the silent run waited on a pipe named as the plug-in"
[ $code -eq 0 ] || [ $code -eq 124 ] || fail "installing over a pipe gave $code"
[ -f "$users/vst2/Vantorix3.dll" ] && [ ! -p "$users/vst2/Vantorix3.dll" ] || fail "the VST2 plug-in is not in place"

# 3. The install folder's own lock, taken first by the attacker, who may read
# the folder: root does not wait for it.
mkdir -p "$scratch/clap-held"
start_as_nobody flock -o "$scratch/clap-held" sleep 10
sleep 0.5
start=$(date +%s%N)
"$app" /VERYSILENT /COMPONENTS=clap "/CLAPDIR=$scratch/clap-held" >/dev/null 2>&1
code=$?
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ $code -eq 0 ] || fail "with the folder flocked by another user the install gave $code"
[ $took -lt 3000 ] || fail "the install waited $took ms for another user's lock"

# 4. A link clicked in the window opens as the user who asked for root, and
# with nobody to run it as, it is not opened at all (the hint line gives the
# address instead). A stand-in opener says whom it runs as.
if [ -z "$display" ]; then
    echo "no X display: the window's links not tried"
else
    export DISPLAY=$display
    here=$(cd "$(dirname "$0")" && pwd)
    . "$here/window_lib.sh"
    hold_atoms "$scratch/atoms-ready"
    mkdir -p "$scratch/bin" "$scratch/opened"
    chmod 777 "$scratch/opened"
    printf '#!/bin/sh\nid -u > %s/opened/as\n' "$scratch" > "$scratch/bin/xdg-open"
    chmod 755 "$scratch/bin/xdg-open"

    click_website() {   # environment assignments for the program
        env "$@" PATH="$scratch/bin:$PATH" "$app" >/dev/null 2>&1 &
        local pid=$! win
        win=$(settled_window $pid) || { fail "no window"; kill $pid; return; }
        sleep 0.5
        xdotool mousemove --window "$win" 170 456 click 1
        for _ in $(seq 1 30); do [ -e "$scratch/opened/as" ] && break; sleep 0.1; done
        close_and_wait $pid
        kill $pid 2>/dev/null
    }

    click_website SUDO_UID=65534
    [ "$(cat "$scratch/opened/as" 2>/dev/null)" = "65534" ] || fail "the link did not open as the user who asked for root: $(cat "$scratch/opened/as" 2>&1)"
    rm -f "$scratch/opened/as"

    click_website -u SUDO_UID -u PKEXEC_UID
    [ -e "$scratch/opened/as" ] && fail "with no user to run it as, the link was opened as $(cat "$scratch/opened/as")"
fi

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
