#!/usr/bin/env bash
# Builds the version-reader fuzzer with clang under AddressSanitizer and UBSan
# and runs it for a bounded time on a corpus seeded with the generator's
# fixtures and the embedded plug-in binaries.
set -euo pipefail
seconds=$1
fixtures=$2
payloads=$3
work=$4
src=$(cd "$(dirname "$0")/../.." && pwd)

mkdir -p "$work/corpus"
clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        "$src/tests/fuzz/pe_version_fuzzer.cpp" "$src/pe/PeVersionReader.cpp" -o "$work/pe_version_fuzzer"

cp "$fixtures"/*.dll "$work/corpus/"
for zip in "$payloads"/*.zip; do
    unzip -o -q -j "$zip" '*Vantorix3.*' -x '*.json' -d "$work/corpus/$(basename "$zip" .zip)" 2>/dev/null || true
done

cd "$work"
./pe_version_fuzzer -max_total_time="$seconds" -max_len=131072 -rss_limit_mb=512 -print_final_stats=1 corpus 2>&1 | tail -12
echo "1 passed, 0 failed"
