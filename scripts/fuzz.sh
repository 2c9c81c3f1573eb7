#!/bin/sh
# Builds the libFuzzer harnesses (fuzz preset: clang 14 with ASan and UBSan)
# and runs each one for FUZZ_SECONDS (default 60) on a scratch copy of its
# committed corpus in fuzz/corpus/, so the tree is never changed. Fails when
# a fuzzer stops on a crash, a sanitizer report, a leak, a time-out or a
# broken property; the input that did it is kept in build-fuzz/artifacts/.
#
# FUZZ_UPDATE_CORPUS=1 merges what the runs found into fuzz/corpus/ (only
# the inputs that add coverage), for a developer growing the committed
# corpus; keep each folder to a few hundred small files.
set -eu
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
fuzzers="fuzz_ini fuzz_listing fuzz_reader"

sh scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d "${TMPDIR:-/tmp}/battsim-fuzz.XXXXXX")
# The harnesses rewrite their input files on every run: a RAM disk keeps
# that cheap where there is one.
scratch=$(mktemp -d /dev/shm/battsim-fuzz.XXXXXX 2>/dev/null || mktemp -d "$work/scratch.XXXXXX")
trap 'rm -rf "$work" "$scratch"' EXIT
trap 'exit 130' INT TERM
artifacts="build-fuzz/artifacts"
mkdir -p "$artifacts"

status=0
passed=0
failures=0
for name in $fuzzers; do
    dir="$work/$name"
    mkdir -p "$dir/corpus" "$dir/artifacts" "$scratch/$name"
    if [ -d "fuzz/corpus/$name" ]; then
        cp -R "fuzz/corpus/$name/." "$dir/corpus/"
    fi
    set +e
    BATTSIM_FUZZ_TMPDIR="$scratch/$name" "build-fuzz/fuzz/$name" \
        -max_total_time="$seconds" -max_len=8192 -timeout=25 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" >"$dir/log" 2>&1
    rc=$?
    set -e
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$dir/log" | tail -n 1)
    coverage=$(grep -E '^#[0-9]+[[:space:]].*cov: [0-9]+' "$dir/log" | tail -n 1 |
        sed -n 's/.*cov: \([0-9]*\) ft: \([0-9]*\) corp: \([0-9]*\)\/.*/\1 edges, \2 features, corpus \3 inputs/p')
    found=$(find "$dir/artifacts" -type f | wc -l)
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        status=1
        result="FAILED (exit $rc, $found inputs saved in $artifacts/$name)"
        echo "---- $name: the end of its log ----"
        tail -n 60 "$dir/log"
        mkdir -p "$artifacts/$name"
        find "$dir/artifacts" -type f -exec cp {} "$artifacts/$name/" \;
        failures=$((failures + 1))
    else
        result="ok"
        passed=$((passed + 1))
    fi
    echo "fuzz: $name: ${executions:-?} executions in ${seconds} s (${rate:-?}/s), coverage ${coverage:-?}: $result"
    if [ "${FUZZ_UPDATE_CORPUS:-0}" = 1 ] && [ "$status" -eq 0 ]; then
        mkdir -p "fuzz/corpus/$name"
        BATTSIM_FUZZ_TMPDIR="$scratch/$name" "build-fuzz/fuzz/$name" -merge=1 -max_len=8192 -timeout=25 \
            "fuzz/corpus/$name" "$dir/corpus" >"$dir/merge.log" 2>&1
        echo "fuzz: $name: corpus now $(find "fuzz/corpus/$name" -type f | wc -l) files"
    fi
done
echo "fuzz: $passed passed, $failures failed"
exit $status
