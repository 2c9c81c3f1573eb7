#!/bin/sh
# Runs every test under AddressSanitizer + UndefinedBehaviorSanitizer (asan
# preset, build-asan/, with leak checks and no suppression), then the run
# tests under ThreadSanitizer (build-tsan/): test_run (tsan preset) and the
# widget test test_main_window (tsan-ui preset; tests/tsan.supp says how it
# copes with the uninstrumented Qt). Any sanitizer report fails the test
# that made it; every stage runs, and the script fails at the end if any
# test did.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh

failed=""
stage_start=0
stage() {
    stage_start=$(date +%s)
    echo "== sanitize: $1"
}
stage_done() {
    echo "== sanitize: $1 took $(($(date +%s) - stage_start)) s"
}

stage "asan build"
cmake --preset asan >/dev/null
cmake --build --preset asan
stage_done "asan build"

stage "asan tests"
ctest --preset asan || failed="$failed asan"
stage_done "asan tests"

stage "tsan build"
cmake --preset tsan >/dev/null
cmake --build --preset tsan
stage_done "tsan build"

stage "tsan tests"
ctest --preset tsan || failed="$failed tsan"
ctest --preset tsan-ui || failed="$failed tsan-ui"
stage_done "tsan tests"

if [ -n "$failed" ]; then
    echo "== sanitize: FAILED:$failed" >&2
    exit 1
fi
echo "== sanitize: every sanitizer run passed"
