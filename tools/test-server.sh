# Sourced by the scripts that need the loopback test server: starts it in the background.
#   start_test_server SERVER READY_FILE OUTPUT_FILE [server arguments]
# Sets server_pid, waits until the server has written its ports to READY_FILE, and stops the
# script with the server's output (kept in OUTPUT_FILE) when it does not come up within 5 s.
start_test_server() {
  local server=$1 ready=$2 out=$3
  shift 3
  "$server" --ready-file "$ready" "$@" </dev/null >"$out" 2>&1 &
  server_pid=$!
  for _ in $(seq 100); do
    [ -s "$ready" ] && return 0
    sleep 0.05
  done
  echo "$(basename "$0"): the test server did not start" >&2
  cat "$out" >&2
  exit 1
}

# Starts the three sites of a whole run (SITES/update, SITES/council, SITES/coop; ports in
# WORK/ports, output in WORK/server.out) and exports the program's settings for them.
#   start_run_sites SERVER WORK SITES [server arguments]
start_run_sites() {
  local server=$1 work=$2 sites=$3
  shift 3
  start_test_server "$server" "$work/ports" "$work/server.out" \
    --site update=0:"$sites/update" --site council=0:"$sites/council" --site coop=0:"$sites/coop" "$@"
  export VELMORIN_UPDATE_SERVER="http://127.0.0.1:$(site_port "$work" update)"
  export VELMORIN_COUNCIL_SITE="http://127.0.0.1:$(site_port "$work" council)"
  export VELMORIN_COOP_SITE="http://127.0.0.1:$(site_port "$work" coop)"
}

# The port of a site started by start_run_sites.
site_port() { awk -v s="$2" '$1 == s { print $2 }' "$1/ports"; }
