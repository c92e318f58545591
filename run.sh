#!/usr/bin/env bash
# Installs what Tabulon needs, builds it (Release) and starts it on the bundled demo database.
set -euo pipefail
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
eval "$(scripts/demo-env.sh)"
exec build-release/bin/tabulon --settings "$TABULON_DEMO_SETTINGS"
