#!/bin/sh
# Builds the benchmarks in Release, runs them all and prints one line per
# figure. The benchmarks' own reports go to $build/bench-logs/.
#   BATTSIM_BENCH_BUILD_DIR  the build folder (default build-release-bench)
#   BATTSIM_BENCH_ONLY       a space-separated subset of: listing reader plot e2e
#   BATTSIM_BENCH_HOURS      the simulated time of the end-to-end runs (default 5)
set -eu
cd "$(dirname "$0")/.."
build=${BATTSIM_BENCH_BUILD_DIR:-build-release-bench}
only=${BATTSIM_BENCH_ONLY:-listing reader plot e2e}
logs="$build/bench-logs"
mkdir -p "$logs"
sh scripts/install-deps.sh libbenchmark-dev

if ! cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBATTSIM_BUILD_BENCH=ON \
        -DBATTSIM_BUILD_TESTS=OFF > "$logs/configure.log" 2>&1 \
    || ! cmake --build "$build" -j2 > "$logs/build.log" 2>&1; then
    echo "bench: the build failed; see $logs/" >&2
    tail -n 30 "$logs/configure.log" "$logs/build.log" >&2 || true
    exit 1
fi

export QT_QPA_PLATFORM=offscreen
status=0
for name in $only; do
    if ! "$build/bench/bench_$name" > "$logs/$name.log" 2>&1; then
        echo "bench: bench_$name failed; see $logs/$name.log" >&2
        status=1
    fi
    if ! grep -q '^FIGURE ' "$logs/$name.log"; then
        echo "bench: bench_$name gave no figure; see $logs/$name.log" >&2
        status=1
    fi
    sed -n 's/^FIGURE //p' "$logs/$name.log"
done
exit $status
