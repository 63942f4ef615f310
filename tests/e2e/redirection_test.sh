#!/usr/bin/env bash
# The real program, started over the leftovers of a cut-short uninstall in its
# VST3 folder, while another user races its start-up clean-up: at the first
# file it removes from the working folder's "discard", that folder is swapped
# for a link to an unrelated folder holding files of the same names. The
# unrelated folder must keep every one of them.
#
#   redirection_test.sh APP                 the Linux program
#   redirection_test.sh EXE WINE_RUN        the Windows program under Wine
set -u
app=$1
wine_run=${2:-}
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${DISPLAY:-}" ]; then echo "no X display: skipped"; exit 77; fi
scratch=$(mktemp -d /tmp/tsr-swap-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$scratch" "${vst3:-/nonexistent}/.Vantorix3.vst3.tsr-work"* "${vst3:-/nonexistent}/Vantorix3.vst3"' EXIT

failed=0
fail() { echo "FAIL: $*"; failed=1; }

if [ -n "$wine_run" ]; then
    prefix=$(sed -n 's/^export WINEPREFIX="\(.*\)"$/\1/p' "$wine_run")
    vst3="$prefix/drive_c/Program Files/Common Files/VST3"
    run=("$wine_run" "$app")
else
    export HOME=$scratch/home TMPDIR=$scratch
    unset XDG_DATA_HOME VST_PATH
    vst3=$HOME/.vst3
    run=("$app")
fi

# The leftovers, and an unrelated folder with the same file names.
discard="$vst3/.Vantorix3.vst3.tsr-work/discard"
unrelated=$scratch/unrelated
mkdir -p "$discard/Contents" "$unrelated/Contents" "$vst3/Vantorix3.vst3/Contents"
for i in $(seq -w 1 2000); do
    echo "old $i" > "$discard/Contents/file$i.txt"
    echo "unrelated $i" > "$unrelated/Contents/file$i.txt"
done
(cd "$unrelated" && find . -type f -exec md5sum {} + | sort) > "$scratch/before"

/usr/bin/python3 "$here/swap_on_first_delete.py" "$discard/Contents" "$unrelated/Contents" "$scratch/ready" 60 &
watcher=$!
for _ in $(seq 1 100); do [ -e "$scratch/ready" ] && break; sleep 0.1; done

"${run[@]}" &
program=$!

win=""
for _ in $(seq 1 300); do
    win=$(xdotool search --onlyvisible --name '^tsr_installer$' 2>/dev/null | head -1)
    [ -n "$win" ] && break
    sleep 0.2
done
[ -n "$win" ] || fail "no window"

wait $watcher || fail "the watcher saw no removal (exit $?)"
sleep 1
if [ -n "$wine_run" ]; then
    "$wine_run" taskkill /IM "$(basename "$app")" >/dev/null
    for _ in $(seq 1 300); do kill -0 $program 2>/dev/null || break; sleep 0.1; done
fi
kill $program 2>/dev/null
wait $program 2>/dev/null

(cd "$unrelated" && find . -type f -exec md5sum {} + | sort) > "$scratch/after"
kept=$(wc -l < "$scratch/after")
cmp -s "$scratch/before" "$scratch/after" || fail "the unrelated folder changed: $kept of 2000 files left"
[ -d "$vst3/Vantorix3.vst3" ] || fail "the installed item is gone"
echo "unrelated files kept: $kept of 2000"

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
