#!/usr/bin/env bash
# A file fetched from another copy over loopback, enciphered (the file server of
# truvane-bench-peer-server, session key required), beside the same file fetched from a
# loopback nginx, both by Truvane's engine (truvane-bench-download), in one run, printed as
# one markdown table of wall time, user and system CPU and peak memory (median of the runs).
#
# Usage: bench/peer_compare.sh [BUILD_DIR]
#   TRUVANE_BENCH_RUNS      runs per figure (3)
#   TRUVANE_BENCH_SIZE_MIB  size of the file (1024)
#
# Nothing leaves the machine: both servers listen on 127.0.0.1 only and are stopped at the
# end; each run is bounded by a time-out.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${TRUVANE_BENCH_RUNS:-3}"
size_mib="${TRUVANE_BENCH_SIZE_MIB:-1024}"
bench="$build/bench/truvane-bench-download"
server="$build/bench/truvane-bench-peer-server"
for tool in "$bench" "$server"; do [ -x "$tool" ] || { echo "build $tool first (scripts/build.sh)" >&2; exit 1; }; done
command -v nginx >/dev/null || { echo "nginx is needed" >&2; exit 1; }

work="$(mktemp -d)"
nginx_pid=""
server_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

mkdir -p "$work/www" "$work/nginx"
head -c "$((size_mib * 1048576))" /dev/urandom > "$work/www/file.bin"
http_port="$(free_port)"
peer_port="$(free_port)"
# As root the workers would run as nobody, who cannot read the private work folder.
user_line=""
[ "$(id -u)" = 0 ] && user_line="user root;"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
$user_line
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/nginx; proxy_temp_path $work/nginx; fastcgi_temp_path $work/nginx;
  uwsgi_temp_path $work/nginx; scgi_temp_path $work/nginx;
  server { listen 127.0.0.1:$http_port; root $work/www; }
}
CONF
nginx -e "$work/nginx/stderr.log" -p "$work/nginx" -c "$work/nginx/nginx.conf" &
nginx_pid=$!
# The peer server serves until its input closes: a pipe held open by a sleeping process.
mkfifo "$work/peer.in"
"$server" "$work/www/file.bin" "$peer_port" < "$work/peer.in" > "$work/peer.out" 2>&1 &
server_pid=$!
sleep 3600 > "$work/peer.in" &
holder=$!
trap 'kill $holder 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 100); do
  grep -q ready "$work/peer.out" 2>/dev/null && (echo > "/dev/tcp/127.0.0.1/$http_port") 2>/dev/null && break
  sleep 0.1
done

# One figure: the median run's "wall", "cpu user", "cpu sys" and "peak rss" lines.
measure() {
  local url="$1"; shift
  local results=()
  for _ in $(seq "$runs"); do
    rm -f "$work/out.bin"
    timeout 900 "$bench" "$url" --output "$work/out.bin" --timeout 800 "$@" > "$work/run.txt" || { echo "| failed |"; return; }
    cmp -s "$work/out.bin" "$work/www/file.bin" || { echo "| not byte-exact |"; return; }
    local wall user sys rss
    wall="$(awk '/^wall/ {print $2}' "$work/run.txt")"
    user="$(awk '/^cpu user/ {print $3}' "$work/run.txt")"
    sys="$(awk '/^cpu sys/ {print $3}' "$work/run.txt")"
    rss="$(awk '/^peak rss/ {print $3}' "$work/run.txt")"
    results+=("$wall $user $sys $rss")
  done
  printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((runs + 1) / 2))p" |
    awk -v mib="$size_mib" '{ printf "| %.2f s | %.0f MiB/s | %.2f s | %.2f s | %d MiB |\n", $1, mib / $1, $2, $3, $4 / 1024 }'
}

echo "| ${size_mib} MiB over loopback, Truvane's engine | wall | rate | user CPU | system CPU | peak memory |"
echo "|---|---|---|---|---|---|"
for c in 1 4; do
  echo "| nginx, HTTP, $c connection(s) $(measure "http://127.0.0.1:$http_port/file.bin" --connections "$c")"
  echo "| another copy, enciphered, $c connection(s) $(measure "http://bob:pw@127.0.0.1:$peer_port/1?dig" --peer --connections "$c")"
done
