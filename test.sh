#!/usr/bin/env bash
# Installs what Tabulon needs, builds it with its tests and runs the whole suite (offscreen).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
[ -x scripts/setup-pdf-printer.sh ] && scripts/setup-pdf-printer.sh || true
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABULON_BUILD_TESTS=ON >/dev/null
cmake --build build-test
export QT_QPA_PLATFORM=offscreen
status=0
(cd build-test && ctest --output-on-failure -j2 --timeout 600) || status=$?

# The fuzz targets (clang, libFuzzer, address and undefined-behaviour sanitizers) in a build
# folder of their own, and a short run of each (about ten seconds apiece).
CC=clang CXX=clang++ cmake -S . -B build-test-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTABULON_BUILD_TESTS=OFF -DTABULON_BUILD_FUZZ=ON >/dev/null
cmake --build build-test-fuzz --target tabulon_fuzzers
(cd build-test-fuzz && ctest --output-on-failure -j2 -L fuzz) || status=$?
exit "$status"
