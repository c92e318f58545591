#!/usr/bin/env bash
# Starts and stops a private copy of the T-SQL engine (Babelfish over TDS) for the tests and the
# second demo source.
#
#   scripts/tsql-engine.sh start ENGINE   ENGINE: the engine's .tar.zst, or a folder holding an
#                                         extracted copy. Prints shell assignments to eval:
#                                         TABULON_TSQL_SERVER=host,port,user,password and
#                                         TABULON_TSQL_RUN=<the run's folder>
#   scripts/tsql-engine.sh stop RUN       stops the server of that run by its PID and removes the
#                                         run's data
#
# Each run gets a fresh database cluster of its own and free loopback ports (TDS on 1433 when
# that port is free, since "Local Connection" reaches the default port). The engine's server
# runs as an unprivileged system user, so it is unpacked under /var/tmp, where every parent
# folder can be traversed.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
BASE=/var/tmp/tabulon-tsql
PASSWORD='Tabulon#2026'

in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
free_port() {
  local p
  for p in "$@"; do
    in_use "$p" || { echo "$p"; return 0; }
  done
  return 1
}

# The folder that holds start.sh, unpacked or copied where the server's user can reach it.
engine_home() {
  local engine=$1 name home
  $SUDO mkdir -p "$BASE"; $SUDO chmod 0755 "$BASE"
  if [ -f "$engine" ]; then
    name=$(basename "$engine"); name=${name%.tar.zst}
    home="$BASE/$name"
    if [ ! -x "$home/start.sh" ] || [ ! -x "$home/install/bin/postgres" ]; then
      echo "Unpacking the T-SQL engine into $BASE ..." >&2
      $SUDO rm -rf "$home"
      zstd -dc "$engine" | $SUDO tar -x -C "$BASE"
    fi
  elif [ -d "$engine" ]; then
    home=$(cd "$engine" && pwd)
    if [ ! -x "$home/start.sh" ]; then
      home=$(find "$home" -maxdepth 2 -name start.sh -printf '%h\n' | head -n 1)
    fi
    [ -n "$home" ] && [ -x "$home/start.sh" ] || { echo "no start.sh in $engine" >&2; exit 1; }
    # A copy under a folder the server's user cannot traverse is copied to where it can.
    local d=$home reachable=1
    while [ "$d" != / ]; do
      [ "$(( 0$(stat -c %a "$d") & 01 ))" -ne 0 ] || reachable=0
      d=$(dirname "$d")
    done
    if [ "$reachable" = 0 ]; then
      name=$(basename "$home")
      echo "Copying the T-SQL engine to $BASE/$name (its folder is not reachable by the server's user) ..." >&2
      $SUDO rm -rf "${BASE:?}/$name"; $SUDO cp -a "$home" "$BASE/$name"
      home="$BASE/$name"
    fi
  else
    echo "TABULON_TSQL_ENGINE names neither the engine's .tar.zst nor a folder: $engine" >&2
    exit 1
  fi
  echo "$home"
}

start() {
  local engine=$1 home run tds pg
  home=$(engine_home "$engine")
  run=$($SUDO mktemp -d "$BASE/run-XXXXXX"); $SUDO chmod 0755 "$run"
  tds=$(free_port 1433 $(seq 14330 14399)) || { echo "no free loopback port for TDS" >&2; exit 1; }
  pg=$(free_port 15432 $(seq 15433 15499)) || { echo "no free loopback port for the engine" >&2; exit 1; }
  printf '%s\n' "$home" > "$run/home"
  if ! $SUDO env BF_DATA="$run/data" BF_RUN="$run/run" BF_TDSPORT="$tds" BF_PGPORT="$pg" \
      "$home/start.sh" >"$run/start.log" 2>&1; then
    cat "$run/start.log" >&2
    echo "The T-SQL engine did not start (log above)." >&2
    exit 1
  fi
  printf 'TABULON_TSQL_SERVER=%q\n' "127.0.0.1,$tds,sa,$PASSWORD"
  printf 'TABULON_TSQL_RUN=%q\n' "$run"
}

stop() {
  local run=$1 home
  [ -d "$run" ] || return 0
  home=$(cat "$run/home" 2>/dev/null || true)
  if [ -n "$home" ] && [ -x "$home/stop.sh" ]; then
    $SUDO env BF_DATA="$run/data" BF_RUN="$run/run" "$home/stop.sh" >/dev/null 2>&1 || true
  fi
  # Whatever stop.sh could not end: the postmaster recorded for this run, by its PID.
  local pid
  pid=$(head -n 1 "$run/data/postmaster.pid" 2>/dev/null || true)
  if [ -n "$pid" ] && $SUDO kill -0 "$pid" 2>/dev/null; then
    $SUDO kill -KILL "$pid" 2>/dev/null || true
  fi
  $SUDO rm -rf "$run"
}

case "${1:-}" in
  start) [ $# -eq 2 ] || { echo "usage: $0 start ENGINE" >&2; exit 2; }; start "$2" ;;
  stop) [ $# -eq 2 ] || { echo "usage: $0 stop RUN" >&2; exit 2; }; stop "$2" ;;
  *) echo "usage: $0 start ENGINE | stop RUN" >&2; exit 2 ;;
esac
