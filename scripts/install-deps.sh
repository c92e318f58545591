#!/usr/bin/env bash
# Installs every Debian package Tabulon needs to build, run and test, and registers the
# FreeTDS driver under the ODBC name "SQL Server" when the system has no driver of that name.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(
  build-essential cmake ninja-build pkg-config git ccache
  qt6-base-dev qt6-base-dev-tools libgl-dev
  unixodbc unixodbc-dev odbcinst tdsodbc libsqliteodbc sqlite3
  libxlsxwriter-dev
  fonts-liberation
  libgtest-dev libgmock-dev
  xvfb openbox xdotool imagemagick x11-utils
  cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils libcups2-dev ghostscript
  libreoffice-calc
  libxml2-utils python3
  libxml2-dev libsqlite3-dev
  clang libclang-rt-14-dev
  # what the bundled T-SQL engine needs to run (tests and the second demo source)
  zstd freetds-bin util-linux passwd libicu72 libreadline8 libssl3 libxml2 libxslt1.1 zlib1g
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# Register FreeTDS as "SQL Server" unless some driver already carries that name.
if ! odbcinst -q -d -n "SQL Server" >/dev/null 2>&1; then
  tds=$(dpkg -L tdsodbc 2>/dev/null | grep -m1 '/libtdsodbc\.so$' || true)
  if [ -n "$tds" ]; then
    tmp=$(mktemp)
    printf '[SQL Server]\nDescription=FreeTDS ODBC driver for Microsoft SQL Server\nDriver=%s\nSetup=%s\nUsageCount=1\n' \
      "$tds" "$(dirname "$tds")/libtdsS.so" > "$tmp"
    $SUDO odbcinst -i -d -f "$tmp" >/dev/null
    rm -f "$tmp"
    echo "Registered FreeTDS ($tds) as ODBC driver \"SQL Server\"."
  fi
fi
