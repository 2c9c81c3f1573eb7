#!/bin/sh
# Builds battsim and runs every test headless.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBATTSIM_BUILD_TESTS=ON
cmake --build build -j2
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2
# The sanitizer builds and the fuzzers; both run even when one fails.
status=0
sh scripts/sanitize.sh || status=1
sh scripts/fuzz.sh || status=1
exit $status
