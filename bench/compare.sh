#!/usr/bin/env bash
# Downloads one 1 GiB file from a loopback nginx with curl, wget, aria2c, axel and
# truvane-bench-download, side by side under hyperfine, and prints the figures.
#
# Usage: bench/compare.sh [BUILD_DIR] [CONNECTIONS]
# Needs root for apt-get the first time (hyperfine, aria2, axel, wget, nginx). Nothing
# leaves the machine: the server listens on 127.0.0.1 only and is stopped at the end.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
connections="${2:-10}"
runs="${TRUVANE_BENCH_RUNS:-5}"

missing=()
for tool in hyperfine aria2c axel wget curl nginx; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  pkgs=()
  for tool in "${missing[@]}"; do
    case "$tool" in aria2c) pkgs+=(aria2) ;; *) pkgs+=("$tool") ;; esac
  done
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${pkgs[@]}" >/dev/null
fi

bench="$build/bench/truvane-bench-download"
[ -x "$bench" ] || { echo "build $bench first (scripts/build.sh)" >&2; exit 1; }

work="$(mktemp -d)"
nginx_pid=""
cleanup() {
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/www" "$work/out" "$work/logs"
# A file that does not compress or repeat, so no layer can cheat.
head -c $((1024 * 1024 * 1024)) /dev/urandom > "$work/www/big.bin"
expected="$(sha256sum "$work/www/big.bin" | cut -d' ' -f1)"

port="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
# As root, nginx's workers would drop to "nobody", who cannot read the private work folder.
user_line=""
[ "$(id -u)" = 0 ] && user_line="user root;"
cat > "$work/nginx.conf" <<CONF
$user_line
worker_processes 4;
pid $work/nginx.pid;
error_log $work/logs/error.log;
daemon off;
events { worker_connections 256; }
http {
  access_log off;
  sendfile on;
  client_body_temp_path $work/logs;
  proxy_temp_path $work/logs;
  fastcgi_temp_path $work/logs;
  uwsgi_temp_path $work/logs;
  scgi_temp_path $work/logs;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do
  curl -sf -o /dev/null "http://127.0.0.1:$port/big.bin" -r 0-0 && break
  sleep 0.1
done

url="http://127.0.0.1:$port/big.bin"
out="$work/out/big.bin"
hyperfine --warmup 1 --runs "$runs" --export-markdown "$work/results.md" \
  --prepare "rm -rf $work/out/*" \
  -n curl "curl -sf -o $out $url" \
  -n wget "wget -q -O $out $url" \
  -n "aria2c -x$connections" "aria2c -q -x$connections -s$connections -d $work/out -o big.bin --allow-overwrite=true --file-allocation=falloc $url" \
  -n "axel -n$connections" "axel -q -n $connections -o $out $url" \
  -n "truvane -c$connections" "$bench $url --connections $connections --output $out"

cat "$work/results.md"
echo
echo "one truvane run, with its own figures:"
rm -rf "$work/out/"*
"$bench" "$url" --connections "$connections" --output "$out"
got="$(sha256sum "$out" | cut -d' ' -f1)"
[ "$got" = "$expected" ] && echo "sha256 matches" || { echo "sha256 MISMATCH" >&2; exit 1; }
