#!/usr/bin/env bash
# Builds the settings-reader fuzzer with clang under AddressSanitizer and UBSan
# (the framework's core too, which holds its strings and XML parser) and runs
# it for a bounded time on a corpus seeded with settings files as people and
# tools write them, and as an attacker would.
set -euo pipefail
seconds=$1
work=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
juce=/usr/share/juce/modules
flags=(-std=c++17 -g -O1 -fsanitize=address,undefined -fno-sanitize-recover=all
       -DJUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1 -DJUCE_STANDALONE_APPLICATION=1 -DJUCE_USE_CURL=0
       -DJUCE_MODULE_AVAILABLE_juce_core=1 -I"$juce")
compiler=clang++
command -v ccache >/dev/null && compiler="ccache clang++"

mkdir -p "$work/corpus"
$compiler "${flags[@]}" -c "$juce/juce_core/juce_core.cpp" -o "$work/juce_core.o"
$compiler "${flags[@]}" -fsanitize=fuzzer -c "$src/tests/fuzz/settings_fuzzer.cpp" -o "$work/settings_fuzzer.o"
$compiler "${flags[@]}" -fsanitize=fuzzer -c "$src/install/SettingsText.cpp" -o "$work/SettingsText.o"
clang++ -fsanitize=fuzzer,address,undefined "$work/settings_fuzzer.o" "$work/SettingsText.o" "$work/juce_core.o" \
        -lz -lpthread -ldl -o "$work/settings_fuzzer"

# Seeds: the file as the program writes it, as PowerShell (UTF-16 either
# way round) and old Notepad (one byte a character) write it, with another
# installer's elements, and hostile ones.
python3 - "$work/corpus" <<'PY'
import sys, os
out = sys.argv[1]
plain = ('<?xml version="1.0" encoding="UTF-8"?>\r\n\r\n<Plugin_Manager_Settings Important_Note:="note"\r\n'
         '  CLAP_Path="C:\\Program Files\\Common Files\\CLAP" VST3_Path="C:\\Program Files\\Common Files\\VST3"\r\n'
         '  VST2_Path="C:\\VST &amp; more" AAX_Path="C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins"/>\r\n')
seeds = {
    "plain": plain.encode(),
    "utf8-bom": b"\xef\xbb\xbf" + plain.encode(),
    "utf16le": b"\xff\xfe" + plain.encode("utf-16-le"),
    "utf16be": b"\xfe\xff" + plain.encode("utf-16-be"),
    "cp1252": plain.replace("more", "caf\u00e9").encode("cp1252"),
    "children": ('<Plugin_Manager_Settings VST3_Path="/x"><Other Path="y">' + "<a>" * 30 + "</a>" * 30
                 + "</Other><!-- c --><![CDATA[z]]></Plugin_Manager_Settings>").encode(),
    "dtd": b'<!DOCTYPE r [<!ENTITY a "x&a;">]><r VST3_Path="&a;"/>',
    "dtd-utf16": b"\xff\xfe" + '<!DOCTYPE r><r VST3_Path="&#x41;&#65;"/>'.encode("utf-16-le"),
    "deep": ("<r>" + "<a>" * 40 + "</a>" * 40 + "</r>").encode(),
}
for name, data in seeds.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
PY

cd "$work"
./settings_fuzzer -max_total_time="$seconds" -timeout=10 -max_len=65536 -rss_limit_mb=1024 -print_final_stats=1 corpus 2>&1 | tail -12
echo "1 passed, 0 failed"
