#!/usr/bin/env bash
# The windowed part of whole-run.sh, inside the Xvfb session: starts the exe, checks the
# start-up window's title and client size, takes a screenshot of each form, and waits for
# the exe to end (its exit code goes to WORK/wine.exit).
#   whole-run-x.sh EXE WORK DPI
set -uo pipefail

exe=$1
work=$2
dpi=$3
log=$work/wine-ui.log
title=" Condiciones de dispensación"
status=0

note() { echo "$*" | tee -a "$work/checks.txt"; }

# Waits up to 60 s for a line of the UI log matching a pattern.
wait_for_log() {
  for _ in $(seq 600); do
    grep -qP "$1" "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  note "FAIL: no UI log line /$1/"
  status=1
  return 1
}

# The X window of a form: Wine names it after the caption.
window_of() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }

wine "$exe" </dev/null >"$work/wine.out" 2>&1 &
pid=$!

# InicioMR alone while the run waits after starting the extraction: its bar fills then.
(
  if wait_for_log '^start\thidden\tcmd /c cd F:\\velmorin\\ &  arj e '; then
    sleep 2.5
    id=$(window_of "$title")
    if [ -z "$id" ]; then
      note "FAIL: no window titled '$title'"
      status=1
    else
      import -window "$id" "$work/InicioMR.png"
      size=$(xdotool getwindowgeometry "$id" | awk '/Geometry:/ { print $2 }')
      want="$((5985 * dpi / 1440))x$((1740 * dpi / 1440))"
      note "InicioMR: title '$(xdotool getwindowname "$id")', client area $size pixels at $dpi DPI (5985 x 1740 twips: $want)"
      [ "$size" = "$want" ] || { note "FAIL: client area $size, expected $want"; status=1; }
    fi
  fi
  exit $status
) &
checks_pid=$!

# MenorRef during the slow database download.
if wait_for_log "^set\tMenorRef\.Label10\tDescarga 'dolvek\.arj' de "; then
  sleep 1.5
  id=$(window_of "Descarga de archivos")
  if [ -n "$id" ]; then
    import -window "$id" "$work/MenorRef.png"
    note "MenorRef: client area $(xdotool getwindowgeometry "$id" | awk '/Geometry:/ { print $2 }') pixels"
  else
    note "FAIL: no window titled 'Descarga de archivos'"
    status=1
  fi
fi
wait "$checks_pid" || status=1

wait "$pid"
echo $? >"$work/wine.exit"
exit $status
