#!/usr/bin/env bash
# Builds the fuzzers (fuzz preset, clang) and runs each for SECONDS (default
# 30) from the seed corpora in fuzz/corpus. New inputs go to build/fuzz/work,
# a finding to build/fuzz/findings; any finding fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --parallel >/dev/null

for fuzzer in country_file selection; do
    work=build/fuzz/work/$fuzzer
    findings=build/fuzz/findings/$fuzzer/
    mkdir -p "$work" "$findings"
    echo "== ${fuzzer}_fuzzer for ${seconds}s"
    build/fuzz/fuzz/${fuzzer}_fuzzer -max_total_time="$seconds" -timeout=5 -max_len=8192 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings" \
        "$work" "fuzz/corpus/$fuzzer" 2>build/fuzz/$fuzzer.log ||
        { tail -40 build/fuzz/$fuzzer.log; echo "${fuzzer}_fuzzer: a finding, in $findings" >&2; exit 1; }
    grep -E 'stat::number_of_executed_units|stat::peak_rss_mb' build/fuzz/$fuzzer.log
done
