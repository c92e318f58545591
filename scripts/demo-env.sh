#!/usr/bin/env bash
# Prepares the demo and prints the lines to eval: ODBCSYSINI=... and TABULON_DEMO_SETTINGS=...
# The demo has settings of its own (the user's own settings are never touched), and a private
# odbcinst.ini that decides what the driver name "SQL Server" means.
#
#   scripts/demo-env.sh          a SQLite database built from demo/demo.sql, reached through the
#                                SQLite ODBC driver registered as "SQL Server"
#   scripts/demo-env.sh tsql     the same shop as the database TabulonDemo on the T-SQL server
#                                named by TABULON_TSQL_SERVER=host,port,user,password (made from
#                                demo/demo-tsql.sql when it is not there yet), reached through
#                                FreeTDS as "SQL Server"
# TABULON_RESET_DEMO=1 makes the demo database afresh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
demo="${XDG_DATA_HOME:-$HOME/.local/share}/Tabulon/demo"
mkdir -p "$demo"
chmod 700 "$demo"
reset="${TABULON_RESET_DEMO:-0}"

driver_of() {
  dpkg -L "$1" 2>/dev/null | grep -m1 "/$2\$" || true
}

sqlite_demo() {
  local driver db settings
  driver=$(driver_of libsqliteodbc libsqlite3odbc.so)
  [ -n "$driver" ] || { echo "The SQLite ODBC driver (libsqliteodbc) is not installed." >&2; exit 1; }
  printf '[SQL Server]\nDescription=SQLite behind the SQL Server driver name (Tabulon demo)\nDriver=%s\n' "$driver" > "$demo/odbcinst.ini"
  : > "$demo/odbc.ini"

  db="$demo/demo.db"
  if [ ! -s "$db" ] || [ "$reset" = 1 ]; then
    rm -f "$db"
    sqlite3 "$db" < "$root/demo/demo.sql"
  fi

  settings="$demo/Vantorel.ini"
  if [ ! -s "$settings" ] || [ "$reset" = 1 ]; then
    umask 077
    cat > "$settings" <<INI
[Tabulon]
MSServer=localhost
Port=
MSUser=
MSPassword=
MSDatabase=$db
Local%20Connection=1
INI
  fi
  echo "export ODBCSYSINI='$demo'"
  echo "export TABULON_DEMO_SETTINGS='$settings'"
}

# A text as a quoted value of the settings file (quotes and backslashes escaped), so that
# ";", "#" and "," stand as they are.
ini_value() {
  local v=${1//\\/\\\\}
  v=${v//\"/\\\"}
  printf '"%s"' "$v"
}

# Runs a script of "go"-separated batches on the server's master database through FreeTDS's
# tsql; fails with the server's messages when any batch is refused.
tsql_run() {
  local out
  out=$(tsql -H "$host" -p "$port" -U "$user" -P "$password" -D master 2>&1 <"$1") || true
  if grep -qE '^Msg [0-9]+|Login failed|There was a problem connecting' <<<"$out"; then
    grep -E -A2 '^Msg [0-9]+|Login failed|There was a problem connecting' <<<"$out" >&2
    return 1
  fi
}

tsql_demo() {
  local spec=${TABULON_TSQL_SERVER:-} driver folder settings script exists local_box
  [ -n "$spec" ] || { echo "TABULON_TSQL_SERVER (host,port,user,password) names no T-SQL server." >&2; exit 1; }
  IFS=, read -r host port user password <<<"$spec"
  password=${spec#*,*,*,}
  [ -n "$host" ] && [ -n "$port" ] && [ -n "$user" ] || { echo "TABULON_TSQL_SERVER must read host,port,user,password" >&2; exit 1; }
  driver=$(driver_of tdsodbc libtdsodbc.so)
  [ -n "$driver" ] || { echo "The FreeTDS ODBC driver (tdsodbc) is not installed." >&2; exit 1; }
  command -v tsql >/dev/null || { echo "FreeTDS's tsql (freetds-bin) is not installed." >&2; exit 1; }

  folder="$demo/tsql"
  mkdir -p "$folder"
  chmod 700 "$folder"
  printf '[SQL Server]\nDescription=FreeTDS ODBC driver for Microsoft SQL Server (Tabulon demo)\nDriver=%s\n' "$driver" > "$folder/odbcinst.ini"
  : > "$folder/odbc.ini"

  script=$(mktemp)
  trap 'rm -f "$script"' RETURN
  printf "SELECT 'demo-exists' WHERE DB_ID('TabulonDemo') IS NOT NULL\ngo\n" > "$script"
  exists=$(tsql -H "$host" -p "$port" -U "$user" -P "$password" -D master 2>&1 <"$script" | grep -c '^demo-exists' || true)
  if [ "$exists" = 0 ] || [ "$reset" = 1 ]; then
    {
      [ "$exists" = 0 ] || printf 'DROP DATABASE TabulonDemo\ngo\n'
      printf 'CREATE DATABASE TabulonDemo\ngo\nUSE TabulonDemo\ngo\n'
      cat "$root/demo/demo-tsql.sql"
    } > "$script"
    tsql_run "$script" || { echo "The T-SQL server refused the demo database (messages above)." >&2; exit 1; }
  fi

  # SQL Server's default port is reached with "Local Connection" ticked, any other with its port.
  local_box=0
  [ "$port" = 1433 ] && local_box=1
  settings="$folder/Vantorel.ini"
  umask 077
  cat > "$settings" <<INI
[Tabulon]
MSServer=$(ini_value "$host")
Port=$(ini_value "$port")
MSUser=$(ini_value "$user")
MSPassword=$(ini_value "$password")
MSDatabase=TabulonDemo
Local%20Connection=$local_box
INI
  echo "export ODBCSYSINI='$folder'"
  echo "export TABULON_DEMO_SETTINGS='$settings'"
}

case "${1:-sqlite}" in
  sqlite) sqlite_demo ;;
  tsql) tsql_demo ;;
  *) echo "usage: $0 [sqlite|tsql]" >&2; exit 2 ;;
esac
