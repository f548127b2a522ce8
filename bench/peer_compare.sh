#!/usr/bin/env bash
# A file fetched from another copy over loopback, enciphered (the file server of
# truvane-bench-peer-server, session key required), beside the same file fetched from a
# loopback nginx, both by Truvane's engine (truvane-bench-download), in one run, printed as
# one markdown table of wall time with its spread, user CPU and peak memory: the median of
# interleaved rounds (each fetch once a round, the order rotating). Every copy is checked.
#
# Usage: bench/peer_compare.sh [BUILD_DIR]
#   TRUVANE_BENCH_RUNS      rounds (5)
#   TRUVANE_BENCH_SIZE_MIB  size of the file (1024)
#
# Nothing leaves the machine: both servers listen on 127.0.0.1 only and are stopped at the
# end; each run is bounded by a time-out.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${TRUVANE_BENCH_RUNS:-5}"
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
# shellcheck source=bench/rounds.sh
source "$here/bench/rounds.sh"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

mkdir -p "$work/www" "$work/nginx"
head -c "$((size_mib * 1048576))" /dev/urandom > "$work/www/file.bin"
expected="$(sha256sum "$work/www/file.bin" | cut -d' ' -f1)"
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

labels=()
for c in 1 4; do
  bench_job "http-$c" "$expected" "$work/out.bin" -- "$bench" "http://127.0.0.1:$http_port/file.bin" \
    --output "$work/out.bin" --timeout 800 --connections "$c"
  bench_job "peer-$c" "$expected" "$work/out.bin" -- "$bench" "http://bob:pw@127.0.0.1:$peer_port/1?dig" \
    --output "$work/out.bin" --timeout 800 --peer --connections "$c"
done
bench_rounds "$runs"
echo "Median of $runs interleaved rounds (fastest-slowest in brackets). $(nproc) cores."
echo
echo "| ${size_mib} MiB over loopback, Truvane's engine | wall, user CPU, peak memory | rate |"
echo "|---|---|---|"
failed=0
for c in 1 4; do
  for kind in http peer; do
    label="nginx, HTTP, $c connection(s)"
    [ "$kind" = peer ] && label="another copy, enciphered, $c connection(s)"
    cell="$(bench_time_cell "$kind-$c")"
    bench_figures "$kind-$c"
    rate="-"
    if [ -n "$fig_error" ]; then
      failed=1
    else
      rate="$(python3 -c "print(f'{$size_mib/$fig_wall:.0f} MiB/s')")"
    fi
    echo "| $label | $cell | $rate |"
  done
done
exit "$failed"
