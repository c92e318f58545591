#!/usr/bin/env bash
# Prepares the demo: a SQLite database built from demo/demo.sql, reached through a private
# odbcinst.ini in which the driver name "SQL Server" points at the SQLite ODBC driver, and a
# settings file of its own (the user's own settings are never touched).
# Prints the lines to eval: ODBCSYSINI=... and TABULON_DEMO_SETTINGS=...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
demo="${XDG_DATA_HOME:-$HOME/.local/share}/Tabulon/demo"
mkdir -p "$demo"
chmod 700 "$demo"

driver=$(dpkg -L libsqliteodbc 2>/dev/null | grep -m1 '/libsqlite3odbc\.so$' || true)
[ -n "$driver" ] || { echo "The SQLite ODBC driver (libsqliteodbc) is not installed." >&2; exit 1; }
printf '[SQL Server]\nDescription=SQLite behind the SQL Server driver name (Tabulon demo)\nDriver=%s\n' "$driver" > "$demo/odbcinst.ini"
: > "$demo/odbc.ini"

db="$demo/demo.db"
if [ ! -s "$db" ] || [ "${TABULON_RESET_DEMO:-0}" = 1 ]; then
  rm -f "$db"
  sqlite3 "$db" < "$root/demo/demo.sql"
fi

settings="$demo/Vantorel.ini"
if [ ! -s "$settings" ] || [ "${TABULON_RESET_DEMO:-0}" = 1 ]; then
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
