#!/usr/bin/env bash
# Installs what Tabulon needs, builds it with its tests and runs the whole suite (offscreen):
# every database test on SQLite and, when a T-SQL server is at hand, again on it.
#   TABULON_TSQL_ENGINE=path of the bundled engine (.tar.zst or an extracted copy): started here
#   TABULON_TSQL_SERVER=host,port,user,password: any SQL Server of yours instead
set -euo pipefail
if [ -n "${TABULON_TSQL_ENGINE:-}" ]; then TABULON_TSQL_ENGINE=$(realpath -m -- "$TABULON_TSQL_ENGINE"); fi
cd "$(dirname "$0")"
scripts/install-deps.sh
[ -x scripts/setup-pdf-printer.sh ] && scripts/setup-pdf-printer.sh || true
# Compiler cache: paths taken relative to the tree, so every clone and worktree shares it.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABULON_BUILD_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build build-test
export QT_QPA_PLATFORM=offscreen

tsql=""
if [ -n "${TABULON_TSQL_SERVER:-}" ]; then
  tsql="the SQL Server named by TABULON_TSQL_SERVER"
elif [ -n "${TABULON_TSQL_ENGINE:-}" ]; then
  eval "$(scripts/tsql-engine.sh start "$TABULON_TSQL_ENGINE")"
  stop_engine() { scripts/tsql-engine.sh stop "$TABULON_TSQL_RUN"; }
  trap stop_engine EXIT
  trap 'exit 130' INT TERM
  tsql="the bundled T-SQL engine (${TABULON_TSQL_SERVER%,*,*})"
fi
export TABULON_TSQL_SERVER

status=0
echo "== The suite on SQLite behind the driver name \"SQL Server\""
(cd build-test && ctest --output-on-failure -j2 --timeout 600 -LE 'tsql|anomaly_full') || status=$?
if [ -n "$tsql" ]; then
  echo "== The suite on T-SQL through FreeTDS: $tsql"
  (cd build-test && ctest --output-on-failure -j2 --timeout 600 -L tsql) || status=$?
else
  echo "T-SQL half skipped: no T-SQL server given. To run it: TABULON_TSQL_ENGINE=../shared/tsql-engine/babelfish-4.3-pg16.4-debian12-amd64.tar.zst ./test.sh (or TABULON_TSQL_SERVER=host,port,user,password for a SQL Server of yours)."
fi

# The fuzz targets (clang, libFuzzer, address and undefined-behaviour sanitizers) in a build
# folder of their own, and a short run of each (about ten seconds apiece).
CC=clang CXX=clang++ cmake -S . -B build-test-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTABULON_BUILD_TESTS=OFF -DTABULON_BUILD_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-test-fuzz --target tabulon_fuzzers
(cd build-test-fuzz && ctest --output-on-failure -j2 -L fuzz) || status=$?
exit "$status"
