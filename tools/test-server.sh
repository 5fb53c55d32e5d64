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
