#!/usr/bin/env bash
# Adds the CUPS print queue that Tabulon's PDF export prints to: queue "Vantorel_PDF_Writer",
# description "Vantorel PDF Writer", writing PDF files through cups-pdf (into ~/PDF of the
# user who prints). When CUPS is installed but its scheduler is not running, starts it first
# (as root; works without systemd). Never changes the default printer. Safe to run again;
# prints nothing when all is well. Without CUPS there is nothing to do.
set -euo pipefail

QUEUE="Vantorel_PDF_Writer"
DESCRIPTION="Vantorel PDF Writer"
PPD="/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd"

export PATH="$PATH:/usr/sbin:/sbin"
command -v cupsd >/dev/null 2>&1 || exit 0
command -v lpadmin >/dev/null 2>&1 || exit 0
command -v lpstat >/dev/null 2>&1 || exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

scheduler_running() { LC_ALL=C lpstat -r 2>/dev/null | grep -q "scheduler is running"; }

if ! scheduler_running; then
  if [ -d /run/systemd/system ] && command -v systemctl >/dev/null 2>&1; then
    $SUDO systemctl start cups >/dev/null 2>&1 || $SUDO cupsd
  else
    $SUDO cupsd
  fi
  for _ in $(seq 1 50); do
    scheduler_running && break
    sleep 0.2
  done
  if ! scheduler_running; then
    echo "setup-pdf-printer: the CUPS scheduler (cupsd) did not start." >&2
    exit 1
  fi
fi

# Done already when a queue of that name, or one with that description, exists.
if lpstat -p "$QUEUE" >/dev/null 2>&1; then exit 0; fi
if LC_ALL=C lpstat -l -p 2>/dev/null | grep -Eq "^[[:space:]]+Description: ${DESCRIPTION}\$"; then exit 0; fi

if [ ! -r "$PPD" ] || [ ! -e /usr/lib/cups/backend/cups-pdf ]; then
  echo "setup-pdf-printer: cups-pdf is not installed (package printer-driver-cups-pdf)." >&2
  exit 1
fi

# lpadmin warns that PPD drivers are deprecated; that warning is all it says on success.
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
if ! $SUDO lpadmin -p "$QUEUE" -D "$DESCRIPTION" -v cups-pdf:/ -P "$PPD" -E 2>"$errors"; then
  cat "$errors" >&2
  echo "setup-pdf-printer: the queue $QUEUE could not be added." >&2
  exit 1
fi
grep -v -i "deprecated" "$errors" >&2 || true
