#!/usr/bin/env bash
# fuzz/bounded_run.sh BINARY NAME RUNS FUZZ_DIR CRASH_DIR
# A fixed-length fuzz run for the test suite: seed 1, RUNS inputs, starting
# from the committed corpus fuzz/corpus/NAME (read only: new inputs go to a
# temporary directory) with the dictionary fuzz/NAME.dict when there is one.
# Any crash, sanitizer report, failed property or timeout fails the test;
# the input that did it is kept in CRASH_DIR.
set -euo pipefail
binary=$1 name=$2 runs=$3 fuzz=$4 crashes=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$crashes"
options=(-seed=1 -runs="$runs" -timeout=300 -rss_limit_mb=4096 -print_final_stats=1
         -artifact_prefix="$crashes/$name-")
if [ -f "$fuzz/$name.dict" ]; then options+=(-dict="$fuzz/$name.dict"); fi
symbolizer=$(command -v llvm-symbolizer-14 || command -v llvm-symbolizer || true)
if [ -n "$symbolizer" ]; then export ASAN_SYMBOLIZER_PATH=$symbolizer; fi
export UBSAN_OPTIONS=print_stacktrace=1
# libFuzzer learns from the values the code compares, addresses among them:
# with address-space randomisation off they, and so the run, repeat exactly.
fixed=()
if setarch "$(uname -m)" -R true 2> /dev/null; then fixed=(setarch "$(uname -m)" -R); fi
if "${fixed[@]}" "$binary" "${options[@]}" "$work/corpus" "$fuzz/corpus/$name" 2> "$work/log"; then
    grep -E '^(stat::number_of_executed_units|Done )' "$work/log" || true
    exit 0
fi
tail -n 60 "$work/log"
echo "fuzz-$name failed; the input is in $crashes"
exit 1
