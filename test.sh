#!/usr/bin/env bash
# Installs what Tabulon needs, builds it with its tests and runs the whole suite (offscreen).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
[ -x scripts/setup-pdf-printer.sh ] && scripts/setup-pdf-printer.sh || true
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABULON_BUILD_TESTS=ON >/dev/null
cmake --build build-test
export QT_QPA_PLATFORM=offscreen
cd build-test
ctest --output-on-failure -j2 --timeout 600
