#!/bin/bash
# Starts and stops one local update server for a test run (CTest fixtures).
#   test-server.sh start DIR ADDRESS [WINE_STATE ARCH TRUST_TOOL]
#   test-server.sh stop  DIR [WINE_STATE ARCH TRUST_TOOL]
# DIR (in the build tree) receives certs/, root/ (the served files),
# requests.log, server.pid and server.log; tests may write faults.json there.
# With the Wine arguments the test CA is added to (start) and removed from
# (stop) the LOCAL_MACHINE ROOT store of that prefix by TRUST_TOOL; without
# them the server's certificate is trusted nowhere.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

usage() {
  echo "usage: $0 start DIR ADDRESS [WINE_STATE ARCH TRUST_TOOL] | stop DIR [WINE_STATE ARCH TRUST_TOOL]" >&2
  exit 2
}

windows_path() {
  local path
  path=$(realpath "$1")
  echo "Z:${path//\//\\}"
}

# $1 add|remove, then WINE_STATE ARCH TRUST_TOOL; the CA of $dir.
trust() {
  local action=$1 state=$2 arch=$3 tool=$4
  "$here/../wine/wine-run" "$state" "$arch" "$tool" "$action" "$(windows_path "$dir/certs/ca.der")"
}

# Whether the process runs the update server. An ended server that nobody
# has reaped yet (a zombie) has an empty command line and so no longer counts.
is_server() {
  grep -qs update_server.py "/proc/$1/cmdline"
}

server_pid() {
  local pid
  pid=$(cat "$dir/server.pid" 2>/dev/null) || return 1
  is_server "$pid" || return 1
  echo "$pid"
}

stop_server() {
  local pid attempt
  pid=$(server_pid) || { rm -f "$dir/server.pid"; return 0; }
  kill -TERM "$pid"
  for attempt in $(seq 50); do
    is_server "$pid" || break
    sleep 0.1
  done
  if is_server "$pid"; then kill -KILL "$pid"; fi
  rm -f "$dir/server.pid"
}

start() {
  local address=$1 attempt
  shift
  stop_server
  "$here/make-test-certs.sh" "$dir/certs" "$address" "Plumix Test CA $address"
  if [ $# -eq 3 ]; then trust add "$@"; fi
  mkdir -p "$dir/root"
  : >"$dir/requests.log"
  rm -f "$dir/faults.json"
  setsid python3 "$here/update_server.py" --address "$address" --root "$dir/root" \
    --cert "$dir/certs/server.pem" --key "$dir/certs/server.key" \
    --requests "$dir/requests.log" --faults "$dir/faults.json" --pidfile "$dir/server.pid" \
    </dev/null >"$dir/server.log" 2>&1 &
  for attempt in $(seq 100); do
    if server_pid >/dev/null; then
      echo "update server on $address serving $dir/root"
      return 0
    fi
    kill -0 $! 2>/dev/null || break
    sleep 0.1
  done
  echo "the update server on $address did not start:" >&2
  cat "$dir/server.log" >&2
  return 1
}

[ $# -ge 2 ] || usage
command=$1 dir=$2
shift 2
mkdir -p "$dir"
dir=$(realpath "$dir")
case $command in
  start)
    [ $# -eq 1 ] || [ $# -eq 4 ] || usage
    start "$@"
    ;;
  stop)
    [ $# -eq 0 ] || [ $# -eq 3 ] || usage
    stop_server
    if [ $# -eq 3 ]; then trust remove "$@"; fi
    ;;
  *) usage ;;
esac
