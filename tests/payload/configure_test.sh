#!/usr/bin/env bash
# Configures the project against payload folders, as a maker would: a bad one
# stops the configure with one line per problem; a good one is accepted, its
# release notes replace the built-in ones, and its archives are what the
# program embeds, byte for byte.
set -u
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/tsr-configure-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
stub() { python3 "$src/tools/pe_stub.py" "$@"; }

bad=$work/bad
mkdir -p "$bad/Vantorix3.vst3/Contents/x86_64-win" "$bad/Vantorix3.aaxplugin/Contents/x64" "$bad/Vantorix3.clap"
stub "$bad/Vantorix3.vst3/Contents/x86_64-win/Vantorix3.vst3" --version 3.3.0.0 --pe32
stub "$bad/Vantorix3.dll" --version 3.2.0.0
stub "$bad/Vantorix3.aaxplugin/Contents/x64/Vantorix3.aaxplugin" --no-version

if cmake -S "$src" -B "$work/bad-build" -DTSR_PAYLOAD_DIR="$bad" > "$work/bad.log" 2>&1; then
    fail "a bad payload configured"
fi
for expected in "Vantorix3.vst3: found 32-bit x86" \
                "Vantorix3.dll: found file version 3.2.0.0, expected 3.3.0.0 .*; set FILEVERSION .* to 3,3,0,0" \
                "Vantorix3.clap: found a folder, expected the CLAP plug-in file" \
                "Vantorix3.aaxplugin: found no version resource" \
                "CHANGELOG.md: missing, expected Vantorix3's release notes: .*; add a CHANGELOG.md"; do
    grep -q "payload error: .*$expected" "$work/bad.log" || fail "no message: $expected"
done

good=$work/good
python3 "$src/tests/payload/make_rich_payload.py" "$work/rich" > /dev/null
mv "$work/rich/payload" "$good"
printf '# Vantorix3 Changelog\r\n\r\n## v3.3.0\r\n\r\n- From the payload.\r\n' > "$good/CHANGELOG.md"
if cmake -S "$src" -B "$work/good-build" -DTSR_PAYLOAD_DIR="$good" > "$work/good.log" 2>&1; then
    grep -q "^$good/CHANGELOG.md\$" "$work/good-build/tsr_resources_generated/input_file_list" \
        || fail "the payload's release notes are not the ones embedded"

    # Only the archives and the embedding object: no need to build the rest.
    cmake --build "$work/good-build" --target tsr_payload > "$work/embed.log" 2>&1 || { cat "$work/embed.log"; fail "embedding failed"; }
    object=$(find "$work/good-build" -name 'tsr_payload.S.o' | head -1)
    objcopy -O binary --only-section=.rodata "$object" "$work/rodata.bin"
    for name in vst3:vst3 vst2:vst clap:clap aax:aax; do
        symbol=tsr_archive_${name%%:*} archive="$work/good-build/archives/${name#*:}.zip"
        start=$(nm "$object" | awk -v s="$symbol" '$3 == s { print $1 }')
        end=$(nm "$object" | awk -v s="${symbol}_end" '$3 == s { print $1 }')
        length=$(( 16#$end - 16#$start ))
        [ "$length" -eq "$(stat -c %s "$archive")" ] || fail "$symbol holds $length bytes, not the archive's"
        cmp -s <(tail -c +$(( 16#$start + 1 )) "$work/rodata.bin" | head -c "$length") "$archive" \
            || fail "$symbol is not the archive byte for byte"
    done
    unzip -Z1 "$work/good-build/archives/vst3.zip" | grep -q 'Presets\\Factory\\Warm Pad.vstpreset' \
        || fail "the bundle's presets are not in the embedded archive"
else
    cat "$work/good.log"; fail "a good payload did not configure"
fi

if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else cat "$work/bad.log"; echo "0 passed, 1 failed"; fi
exit $failed
