#!/bin/sh
# Builds battsim and starts it on the bundled sample catalogue.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBATTSIM_BUILD_TESTS=OFF
cmake --build build -j2
cd build/models
exec ../bin/battsim
