#!/usr/bin/env bash
# Installs what Tabulon needs, builds it (Release) and starts it on the bundled demo database:
# SQLite behind the driver name "SQL Server", or, with TABULON_TSQL_ENGINE naming the bundled
# T-SQL engine (its .tar.zst or an extracted copy), the same shop on that engine, which is
# started here and stopped when Tabulon ends.
set -euo pipefail
if [ -n "${TABULON_TSQL_ENGINE:-}" ]; then TABULON_TSQL_ENGINE=$(realpath -m -- "$TABULON_TSQL_ENGINE"); fi
cd "$(dirname "$0")"
scripts/install-deps.sh
[ -x scripts/setup-pdf-printer.sh ] && scripts/setup-pdf-printer.sh || true
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTABULON_BUILD_TESTS=OFF >/dev/null
cmake --build build-release
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<'MSG'
Tabulon is a desktop program and needs a display, but none was found ($DISPLAY is not set).
Run it on a desktop session, or under a virtual display:
    Xvfb :99 -screen 0 1280x800x24 &
    DISPLAY=:99 openbox &          # optional: a window manager
    DISPLAY=:99 ./run.sh
or simply:
    xvfb-run -a -s "-screen 0 1280x800x24" ./run.sh
MSG
  exit 2
fi
if [ -z "${TABULON_TSQL_ENGINE:-}" ]; then
  eval "$(scripts/demo-env.sh)"
  exec build-release/bin/tabulon --settings "$TABULON_DEMO_SETTINGS"
fi

engine=$(scripts/tsql-engine.sh start "$TABULON_TSQL_ENGINE")
eval "$engine"
stop_engine() { scripts/tsql-engine.sh stop "$TABULON_TSQL_RUN"; }
trap stop_engine EXIT
trap 'exit 130' INT TERM
export TABULON_TSQL_SERVER
echo "The T-SQL engine listens on ${TABULON_TSQL_SERVER%,*,*}; the demo database is TabulonDemo." >&2
demo=$(scripts/demo-env.sh tsql)
eval "$demo"
status=0
build-release/bin/tabulon --settings "$TABULON_DEMO_SETTINGS" || status=$?
exit "$status"
