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

# Builds one preset, then runs the given test presets on it.
build_and_test() {
    preset=$1
    shift
    stage "$preset build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    stage_done "$preset build"

    stage "$preset tests"
    for tests in "$@"; do
        ctest --preset "$tests" || failed="$failed $tests"
    done
    stage_done "$preset tests"
}

build_and_test asan asan
build_and_test tsan tsan tsan-ui

if [ -n "$failed" ]; then
    echo "== sanitize: FAILED:$failed" >&2
    exit 1
fi
echo "== sanitize: every sanitizer run passed"
