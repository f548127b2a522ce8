#!/usr/bin/env bash
# Truvane side by side with curl, wget, aria2c, axel and lftp, all in one run on one
# machine, printed as one markdown table:
#
#   - the disk's limit: the fastest of several honest copies of the same file (dd bs=1M,
#     cp, cat, and one in-kernel copy inside a process), and each HTTP wall of Truvane as a
#     multiple of it, printed under the table;
#   - one file (1 GiB) from a loopback nginx over HTTP and HTTPS, with 1 and 10 connections:
#     wall time (median of the rounds, with the fastest and slowest), user CPU and peak
#     memory;
#   - the download limit at 2, 10 and 50 MiB/s with 10 connections: the rate achieved;
#   - the queue file with 1,000, 10,000 and 100,000 downloads: save, load, what a start
#     costs the main thread (out of the order, the rest renumbered, the save's snapshot),
#     and peak memory (Truvane only);
#   - many small files (1,000 of 16 KiB) through the real program, started by its queue.
#
# Usage: bench/compare.sh [BUILD_DIR]
#   TRUVANE_BENCH_RUNS         rounds per figure (5); every tool of a scenario runs once a
#                              round, in an order that rotates, so all meet the same machine
#   TRUVANE_BENCH_SIZE_MIB     size of the one file (1024)
#   TRUVANE_BENCH_SMALL_FILES  how many small files (1000; the queue starts one per 2 s tick)
#   TRUVANE_BENCH_LIMIT_SECONDS  seconds each limited download should take (4)
#   TRUVANE_BENCH_NO_INSTALL   1: leave missing peers out instead of installing them
#   TRUVANE_BENCH_ONLY         scenarios to run, of: copy http https limit queue small (all)
#
# Peers that are missing are installed with apt-get when running as root, and left out of
# the table (shown as "-") otherwise. The exit status is 1 when a run of Truvane or of a
# copy failed or wrote wrong bytes, so a quick run on a small file checks the script too. Nothing leaves the machine: the server listens on
# 127.0.0.1 only and is stopped at the end. Each command is bounded by a time-out.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${TRUVANE_BENCH_RUNS:-5}"
size_mib="${TRUVANE_BENCH_SIZE_MIB:-1024}"
small_files="${TRUVANE_BENCH_SMALL_FILES:-1000}"
limit_seconds="${TRUVANE_BENCH_LIMIT_SECONDS:-4}"
only="${TRUVANE_BENCH_ONLY:-copy http https limit queue small}"
peers=(curl wget aria2c axel lftp)

want() { [[ " $only " == *" $1 "* ]]; }
have() { command -v "$1" >/dev/null 2>&1; }

# ---- Tools
missing=()
for tool in "${peers[@]}" nginx openssl python3; do have "$tool" || missing+=("$tool"); done
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" = 0 ] && have apt-get && [ "${TRUVANE_BENCH_NO_INSTALL:-}" != 1 ]; then
  pkgs=()
  for tool in "${missing[@]}"; do
    case "$tool" in aria2c) pkgs+=(aria2) ;; *) pkgs+=("$tool") ;; esac
  done
  echo "installing: ${pkgs[*]}" >&2
  apt-get update -qq >/dev/null 2>&1 || true
  for p in "${pkgs[@]}"; do
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$p" >/dev/null 2>&1 || echo "could not install $p" >&2
  done
fi
for tool in nginx openssl python3; do have "$tool" || { echo "$tool is needed" >&2; exit 1; }; done
[ -x /usr/bin/time ] || { echo "GNU time (/usr/bin/time) is needed" >&2; exit 1; }

bench="$build/bench/truvane-bench-download"
queue_bench="$build/bench/queue_file_bench"
program="$build/bin/truvane"
sender="$build/bin/truvane-send"
[ -x "$bench" ] || { echo "build $bench first (scripts/build.sh)" >&2; exit 1; }

work="$(mktemp -d)"
nginx_pid=""
program_pid=""
cleanup() {
  [ -n "$program_pid" ] && kill -9 "$program_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www/small" "$work/out" "$work/logs"
# shellcheck source=bench/rounds.sh
source "$here/bench/rounds.sh"

# ---- Files and server
# A file that does not compress or repeat, so no layer can cheat.
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/www/big.bin"
expected="$(sha256sum "$work/www/big.bin" | cut -d' ' -f1)"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -addext subjectAltName=DNS:localhost \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
port="$(free_port)"
tls_port="$(free_port)"
# As root, nginx's workers would drop to "nobody", who cannot read the private work folder.
user_line=""
[ "$(id -u)" = 0 ] && user_line="user root;"
cat >"$work/nginx.conf" <<CONF
$user_line
worker_processes 4;
pid $work/nginx.pid;
error_log $work/logs/error.log;
daemon off;
events { worker_connections 1024; }
http {
  access_log off;
  sendfile on;
  keepalive_requests 100000;
  client_body_temp_path $work/logs;
  proxy_temp_path $work/logs;
  fastcgi_temp_path $work/logs;
  uwsgi_temp_path $work/logs;
  scgi_temp_path $work/logs;
  server { listen 127.0.0.1:$port; root $work/www; }
  server {
    listen 127.0.0.1:$tls_port ssl;
    ssl_certificate $work/cert.pem;
    ssl_certificate_key $work/key.pem;
    root $work/www;
  }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" &
nginx_pid=$!
for _ in $(seq 50); do
  curl -sf -o /dev/null "http://127.0.0.1:$port/big.bin" -r 0-0 && break
  sleep 0.1
done

# ---- Jobs
declare -A table
rows=()
add_row() { rows+=("$1"); }
put() { table["$1|$2"]="$3"; }
out="$work/out/big.bin"
src="$work/www/big.bin"
big_ids=()
big_job() {
  big_ids+=("$1")
  bench_job "$@"
}

# The disk's limit: each way of copying the bytes to the same folder; the fastest median
# stands for what any download to this disk can reach.
copy_ids=(copy-dd copy-cp copy-cat copy-kernel)
if want copy; then
  big_job copy-dd "$expected" "$out" -- dd if="$src" of="$out" bs=1M status=none
  big_job copy-cp "$expected" "$out" -- cp "$src" "$out"
  big_job copy-cat "$expected" "$out" -- sh -c 'cat "$1" >"$2"' sh "$src" "$out"
  big_job copy-kernel "$expected" "$out" -- python3 -c '
import os, sys
with open(sys.argv[1], "rb") as i, open(sys.argv[2], "wb") as o:
    n = os.fstat(i.fileno()).st_size
    done = 0
    while done < n:
        done += os.sendfile(o.fileno(), i.fileno(), done, n - done)
' "$src" "$out"
fi

http_ids() {
  local scheme="$1" url
  if [ "$scheme" = https ]; then
    url="https://localhost:$tls_port/big.bin"
  else
    url="http://127.0.0.1:$port/big.bin"
  fi
  local ca_truvane=() ca_curl=() ca_wget=() ca_aria=() ca_axel=() ca_lftp=""
  if [ "$scheme" = https ]; then
    ca_truvane=(--cacert "$work/cert.pem")
    ca_curl=(--cacert "$work/cert.pem")
    ca_wget=(--ca-certificate="$work/cert.pem")
    ca_aria=(--ca-certificate="$work/cert.pem")
    ca_axel=(-k) # axel has no CA-file option: it skips the check instead
    ca_lftp="set ssl:ca-file $work/cert.pem;"
  fi
  local c
  for c in 1 10; do
    local k="$scheme-$c"
    big_job "$k-truvane" "$expected" "$out" -- "$bench" "$url" --connections "$c" "${ca_truvane[@]}" --timeout 600 --output "$out"
    if [ "$c" = 1 ]; then
      have curl && big_job "$k-curl" "$expected" "$out" -- curl -sf "${ca_curl[@]}" -o "$out" "$url"
      have wget && big_job "$k-wget" "$expected" "$out" -- wget -q "${ca_wget[@]}" -O "$out" "$url"
    fi
    have aria2c && big_job "$k-aria2c" "$expected" "$out" -- aria2c -q -x"$c" -s"$c" -k1M "${ca_aria[@]}" \
      -d "$work/out" -o big.bin --allow-overwrite=true --file-allocation=falloc "$url"
    have axel && big_job "$k-axel" "$expected" "$out" -- axel -q "${ca_axel[@]}" -n "$c" -o "$out" "$url"
    have lftp && big_job "$k-lftp" "$expected" "$out" -- lftp -c "$ca_lftp set xfer:clobber on; pget -n $c -O $work/out $url"
  done
  return 0
}
want http && http_ids http
want https && http_ids https

# ---- One file: the copies and every download run in the same rounds
limit_wall=""
limit_how=""
ratios=()
if [ ${#big_ids[@]} -gt 0 ]; then
  echo "one file: ${#big_ids[@]} jobs x $runs rounds" >&2
  bench_rounds "$runs" "${big_ids[@]}"
fi
if want copy; then
  row="Disk limit: fastest copy of the file"
  add_row "$row"
  for id in "${copy_ids[@]}"; do
    bench_figures "$id"
    [ -n "$fig_wall" ] || continue
    if [ -z "$limit_wall" ] || python3 -c "import sys; sys.exit(0 if $fig_wall < $limit_wall else 1)"; then
      limit_wall="$fig_wall"
      limit_how="${id#copy-}"
    fi
  done
  copies=""
  for id in "${copy_ids[@]}"; do copies+="${id#copy-} $(bench_time_cell "$id"); "; done
  put "$row" truvane "${limit_wall:-failed} s (${limit_how:-none})"
fi
size_label="1 GiB"
[ "$size_mib" = 1024 ] || size_label="$size_mib MiB"
for scheme in http https; do
  want "$scheme" || continue
  for c in 1 10; do
    row="${scheme^^}, $size_label, $c connection$([ "$c" = 1 ] || echo s)"
    add_row "$row"
    for tool in truvane "${peers[@]}"; do
      id="$scheme-$c-$tool"
      [ -n "${bench_cmd[$id]:-}" ] || continue
      put "$row" "$tool" "$(bench_time_cell "$id")"
    done
    bench_figures "$scheme-$c-truvane"
    if [ "$scheme" = http ] && [ -n "$limit_wall" ] && [ -n "$fig_wall" ]; then
      ratios+=("HTTP with $c connection$([ "$c" = 1 ] || echo s) $(python3 -c "print(f'{$fig_wall/$limit_wall:.2f}')")x")
    fi
  done
done

# ---- The download limit: rate achieved over a file of about four seconds
if want limit; then
  # Some seconds' worth (four unless told): a tool whose limit is far off is cut off (axel's can stall, and
  # it ignores the polite signal, hence the kill five seconds after the bound).
  bench_bound=60
  limit_ids=()
  for mib in 2 10 50; do
    rate=$((mib * 1024 * 1024))
    head -c $((rate * limit_seconds)) /dev/urandom >"$work/www/limited-$mib.bin"
    lexp="$(sha256sum "$work/www/limited-$mib.bin" | cut -d' ' -f1)"
    url="http://127.0.0.1:$port/limited-$mib.bin"
    k="limit-$mib"
    bench_job "$k-truvane" "$lexp" "$out" -- "$bench" "$url" --connections 10 --limit "$rate" --timeout 600 --output "$out"
    limit_ids+=("$k-truvane")
    if have curl; then bench_job "$k-curl" "$lexp" "$out" -- curl -sf --limit-rate "$rate" -o "$out" "$url" && limit_ids+=("$k-curl"); fi
    if have wget; then bench_job "$k-wget" "$lexp" "$out" -- wget -q --limit-rate="$rate" -O "$out" "$url" && limit_ids+=("$k-wget"); fi
    if have aria2c; then
      bench_job "$k-aria2c" "$lexp" "$out" -- aria2c -q -x10 -s10 -k1M --max-overall-download-limit="$rate" \
        -d "$work/out" -o big.bin --allow-overwrite=true "$url"
      limit_ids+=("$k-aria2c")
    fi
    if have axel; then bench_job "$k-axel" "$lexp" "$out" -- axel -q -n 10 -s "$rate" -o "$out" "$url" && limit_ids+=("$k-axel"); fi
    if have lftp; then
      bench_job "$k-lftp" "$lexp" "$out" -- lftp -c "set net:limit-total-rate $rate; set xfer:clobber on; pget -n 10 -O $work/out $url"
      limit_ids+=("$k-lftp")
    fi
  done
  echo "limits: ${#limit_ids[@]} jobs x $runs rounds" >&2
  bench_rounds "$runs" "${limit_ids[@]}"
  for mib in 2 10 50; do
    rate=$((mib * 1024 * 1024))
    row="Limit $mib MiB/s, 10 connections (rate achieved)"
    add_row "$row"
    for tool in truvane "${peers[@]}"; do
      id="limit-$mib-$tool"
      [ -n "${bench_cmd[$id]:-}" ] || continue
      bench_figures "$id"
      if [ -n "$fig_error" ]; then
        put "$row" "$tool" "$fig_error"
        continue
      fi
      # The slowest run gives the lowest rate and the fastest the highest.
      cell="$(python3 -c "
r=lambda w: $rate*$limit_seconds/w/1048576
print(f'{r($fig_wall):.2f} MiB/s ({(r($fig_wall)/$mib-1)*100:+.1f} %, {r($fig_max):.2f}-{r($fig_min):.2f})')")"
      case "$tool" in curl | wget) cell+=" (1 conn.)" ;; esac
      put "$row" "$tool" "$cell"
    done
  done
  bench_bound=900
fi

# ---- The queue file
if want queue && [ -x "$queue_bench" ]; then
  for n in 1000 10000 100000; do
    row="Queue file, $n downloads: save / load / start / peak"
    add_row "$row"
    r="$(timeout 900 "$queue_bench" "$n" "$runs" 2>&1 || true)"
    save="$(sed -n 's/^save: median \([0-9.]*\) ms.*/\1/p' <<<"$r")"
    load="$(sed -n 's/^load: median \([0-9.]*\) ms.*/\1/p' <<<"$r")"
    start="$(sed -n 's/^a start with its save.*main thread: median \([0-9.]*\) ms.*/\1/p' <<<"$r")"
    peak="$(sed -n 's/^peak rss: \([0-9.]*\) MiB.*/\1/p' <<<"$r")"
    put "$row" truvane "${save:-?} ms / ${load:-?} ms / ${start:-?} ms / ${peak:-?} MiB"
  done
fi

# ---- Many small files
# The real program, headless, in a home and a runtime folder of its own (so its event
# socket is its own, whatever else runs on the machine): the files go into its queue, the
# queue starts, and the time runs from the start until the last one is complete.
truvane_small_files() {
  local home="$work/home" runtime="$work/runtime"
  rm -rf "$home" "$runtime"
  mkdir -p "$home"
  mkdir -m 700 "$runtime"
  (
    export HOME="$home" XDG_RUNTIME_DIR="$runtime" XDG_DATA_HOME= XDG_CONFIG_HOME= XDG_STATE_HOME= XDG_CACHE_HOME=
    unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
    exec "$program" 2>"$work/program.err"
  ) &
  program_pid=$!
  send() { HOME="$home" XDG_RUNTIME_DIR="$runtime" timeout 20 "$sender" "$@"; }
  local up=""
  for _ in $(seq 300); do
    send --timeout 2 TrES GQSt >/dev/null 2>&1 && up=1 && break
    sleep 0.1
  done
  [ -n "$up" ] || { echo "the program did not answer" >&2; return 1; }
  local last="" u
  while read -r u; do
    last="$(send --timeout 10 TrES AUrl "----:TEXT=$u" Stqu:bool=false 2>/dev/null | tail -n 1)"
  done <"$work/urls.txt"
  local start_s end_s status="" deadline
  start_s="$(date +%s.%N)"
  send --timeout 10 TrES StaQ >/dev/null 2>&1 || true
  deadline=$(($(date +%s) + small_files * 3 + 120))
  while [ "$(date +%s)" -lt "$deadline" ]; do
    status="$(send --timeout 5 TrES JSta "----:magn=$last" 2>/dev/null | tail -n 1 || true)"
    [ "$status" = 256 ] || [ "$status" = 128 ] || [ "$status" = 64 ] && break
    sleep 0.2
  done
  end_s="$(date +%s.%N)"
  send --timeout 10 aevt quit >/dev/null 2>&1 || true
  for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
  kill -9 "$program_pid" 2>/dev/null || true
  program_pid=""
  [ "$status" = 256 ] || { echo "status ${status:-none}" >&2; return 1; }
  bench_wall="$(python3 -c "print(f'{$end_s-$start_s:.2f}')")"
}

if want small; then
  row="$small_files small files (16 KiB), 10 at a time"
  add_row "$row"
  : >"$work/urls.txt"
  for ((i = 0; i < small_files; i++)); do
    head -c 16384 /dev/urandom >"$work/www/small/f$i.bin"
    echo "http://127.0.0.1:$port/small/f$i.bin" >>"$work/urls.txt"
  done
  small_ids=()
  clear_out="rm -rf '$work/out' && mkdir -p '$work/out'"
  if [ -x "$program" ] && [ -x "$sender" ]; then
    bench_job small-truvane "" "" -- truvane_small_files
    small_ids+=(small-truvane)
  fi
  if have curl; then
    mapfile -t small_urls <"$work/urls.txt"
    bench_job small-curl "" "" --pre "$clear_out" -- curl -sf -Z --parallel-max 10 --output-dir "$work/out" --remote-name-all "${small_urls[@]}"
    small_ids+=(small-curl)
  fi
  if have wget; then
    bench_job small-wget "" "" --pre "$clear_out" -- wget -q -P "$work/out" -i "$work/urls.txt"
    small_ids+=(small-wget)
  fi
  if have aria2c; then
    bench_job small-aria2c "" "" --pre "$clear_out" -- aria2c -q -j10 -d "$work/out" -i "$work/urls.txt"
    small_ids+=(small-aria2c)
  fi
  if have lftp; then
    bench_job small-lftp "" "" --pre "$clear_out" -- lftp -c "set xfer:clobber on; set cmd:parallel 10; lcd $work/out; $(sed 's/^/get /; s/$/;/' "$work/urls.txt" | tr '\n' ' ')"
    small_ids+=(small-lftp)
  fi
  echo "small files: ${#small_ids[@]} jobs x $runs rounds" >&2
  bench_rounds "$runs" "${small_ids[@]}"
  for tool in truvane "${peers[@]}"; do
    id="small-$tool"
    [ -n "${bench_cmd[$id]:-}" ] || continue
    bench_figures "$id"
    if [ -n "$fig_error" ]; then
      put "$row" "$tool" "$fig_error"
      continue
    fi
    cell="$fig_wall s ($fig_min-$fig_max)"
    case "$tool" in truvane) cell+=" (one start per 2 s tick)" ;; wget) cell+=" (1 at a time)" ;; esac
    put "$row" "$tool" "$cell"
  done
fi

# ---- The table
echo
echo "Median of $runs interleaved rounds (fastest-slowest in brackets); s = wall time, u = user CPU seconds, MiB = peak memory. $(nproc) cores, $(uname -r)."
echo
header="| scenario | truvane |"
rule="|---|---|"
for p in "${peers[@]}"; do
  header+=" $p |"
  rule+="---|"
done
echo "$header"
echo "$rule"
for row in "${rows[@]}"; do
  line="| $row | ${table["$row|truvane"]:--} |"
  for p in "${peers[@]}"; do line+=" ${table["$row|$p"]:--} |"; done
  echo "$line"
done
if want copy; then
  echo
  echo "The copies that make the disk limit: ${copies%; }."
fi
if [ ${#ratios[@]} -gt 0 ]; then
  echo
  echo "Truvane's wall time against the disk limit ($limit_how, median against median): $(IFS=,; echo "${ratios[*]}" | sed 's/,/, /g')."
fi

status=0
for id in "${bench_ids[@]}"; do
  case "$id" in *-truvane | copy-*) [ -z "${bench_error[$id]:-}" ] || status=1 ;; esac
done
exit "$status"
