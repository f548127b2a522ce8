#!/usr/bin/env bash
# Truvane side by side with curl, wget, aria2c, axel and lftp, all in one run on one
# machine, printed as one markdown table:
#
#   - dd copying the test file (the physical limit of a download to this disk), and each
#     HTTP wall of Truvane as a multiple of it, printed under the table;
#   - one file (1 GiB) from a loopback nginx over HTTP and HTTPS, with 1 and 10 connections:
#     wall time, user CPU and peak memory (the median of the runs);
#   - the download limit at 2, 10 and 50 MiB/s with 10 connections: the rate achieved;
#   - the queue file with 1,000, 10,000 and 100,000 downloads: save, load, what a start
#     costs the main thread (out of the order, the rest renumbered, the save's snapshot),
#     and peak memory (Truvane only);
#   - many small files (1,000 of 16 KiB) through the real program, started by its queue.
#
# Usage: bench/compare.sh [BUILD_DIR]
#   TRUVANE_BENCH_RUNS         runs per figure (3)
#   TRUVANE_BENCH_SIZE_MIB     size of the one file (1024)
#   TRUVANE_BENCH_SMALL_FILES  how many small files (1000; the queue starts one per 2 s tick)
#   TRUVANE_BENCH_ONLY         scenarios to run, of: dd http https limit queue small (all)
#
# Peers that are missing are installed with apt-get when running as root, and left out of
# the table (shown as "-") otherwise. Nothing leaves the machine: the server listens on
# 127.0.0.1 only and is stopped at the end. Each command is bounded by a time-out.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${TRUVANE_BENCH_RUNS:-3}"
size_mib="${TRUVANE_BENCH_SIZE_MIB:-1024}"
small_files="${TRUVANE_BENCH_SMALL_FILES:-1000}"
only="${TRUVANE_BENCH_ONLY:-dd http https limit queue small}"
peers=(curl wget aria2c axel lftp)

want() { [[ " $only " == *" $1 "* ]]; }
have() { command -v "$1" >/dev/null 2>&1; }

# ---- Tools
missing=()
for tool in "${peers[@]}" nginx openssl python3; do have "$tool" || missing+=("$tool"); done
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ] && [ "$(id -u)" = 0 ] && have apt-get; then
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

# ---- Measuring
# measure NAME EXPECTED_SHA COMMAND...: runs the command $runs times (the output folder
# emptied before each), each bounded to $bound seconds; sets `cell` to the medians of wall
# time, user CPU and peak memory, or to "failed".
measure() {
  local expect="$1"
  shift
  local walls=() users=() rsss=() i
  for ((i = 0; i < runs; i++)); do
    rm -rf "$work/out/"*
    sync
    if ! /usr/bin/time -f '%e %U %M' -o "$work/time.txt" timeout -k 5 "$bound" "$@" >/dev/null 2>"$work/err.txt"; then
      echo "failed: $* ($(tail -n 2 "$work/err.txt" | tr '\n' ' '))" >&2
      cell="failed"
      return
    fi
    if [ -n "$expect" ]; then
      local got
      got="$(sha256sum "$work/out/big.bin" 2>/dev/null | cut -d' ' -f1)"
      if [ "$got" != "$expect" ]; then
        echo "wrong bytes: $*" >&2
        cell="wrong bytes"
        return
      fi
    fi
    read -r w u m <"$work/time.txt"
    walls+=("$w")
    users+=("$u")
    rsss+=("$m")
  done
  median() { printf '%s\n' "$@" | sort -g | sed -n "$(((${#@} + 1) / 2))p"; }
  cell="$(median "${walls[@]}") s, $(median "${users[@]}") u, $(($(median "${rsss[@]}") / 1024)) MiB"
  last_wall="$(median "${walls[@]}")"
}

bound=900
dd_wall=""
ratios=()
declare -A table
rows=()
add_row() { rows+=("$1"); }
put() { table["$1|$2"]="$3"; }

out="$work/out/big.bin"

# ---- dd: the physical limit
if want dd; then
  add_row "dd copy of the file (physical limit)"
  measure "$expected" dd if="$work/www/big.bin" of="$out" bs=4M status=none
  put "dd copy of the file (physical limit)" truvane "$cell"
  [ "$cell" = failed ] || [ "$cell" = "wrong bytes" ] || dd_wall="$last_wall"
fi

# ---- One file over HTTP and HTTPS
download_rows() {
  local scheme="$1" url base
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
    ca_axel=(-k)  # axel has no CA-file option: it skips the check instead
    ca_lftp="set ssl:ca-file $work/cert.pem;"
  fi
  for c in 1 10; do
    local row="${scheme^^}, 1 GiB, $c connection$([ "$c" = 1 ] || echo s)"
    [ "$size_mib" = 1024 ] || row="${scheme^^}, $size_mib MiB, $c connection$([ "$c" = 1 ] || echo s)"
    add_row "$row"
    measure "$expected" "$bench" "$url" --connections "$c" "${ca_truvane[@]}" --timeout 600 --output "$out"
    put "$row" truvane "$cell"
    if [ "$scheme" = http ] && [ -n "$dd_wall" ] && [ "$cell" != failed ] && [ "$cell" != "wrong bytes" ]; then
      ratios+=("HTTP with $c connection$([ "$c" = 1 ] || echo s) $(python3 -c "print(f'{$last_wall/$dd_wall:.2f}')")x")
    fi
    if [ "$c" = 1 ]; then
      if have curl; then measure "$expected" curl -sf "${ca_curl[@]}" -o "$out" "$url"; put "$row" curl "$cell"; fi
      if have wget; then measure "$expected" wget -q "${ca_wget[@]}" -O "$out" "$url"; put "$row" wget "$cell"; fi
    fi
    if have aria2c; then
      measure "$expected" aria2c -q -x"$c" -s"$c" -k1M "${ca_aria[@]}" -d "$work/out" -o big.bin \
        --allow-overwrite=true --file-allocation=falloc "$url"
      put "$row" aria2c "$cell"
    fi
    if have axel; then measure "$expected" axel -q "${ca_axel[@]}" -n "$c" -o "$out" "$url"; put "$row" axel "$cell"; fi
    if have lftp; then
      measure "$expected" lftp -c "$ca_lftp set xfer:clobber on; pget -n $c -O $work/out $url"
      put "$row" lftp "$cell"
    fi
  done
}
want http && download_rows http
want https && download_rows https

# ---- The download limit: rate achieved over a file of about four seconds
if want limit; then
  # Four seconds' worth: a tool whose limit is far off is cut off (axel's can stall, and
  # it ignores the polite signal, hence the kill five seconds after the bound).
  bound=60
  for mib in 2 10 50; do
    rate=$((mib * 1024 * 1024))
    limited="$work/www/limited-$mib.bin"
    head -c $((rate * 4)) /dev/urandom >"$limited"
    lexp="$(sha256sum "$limited" | cut -d' ' -f1)"
    url="http://127.0.0.1:$port/limited-$mib.bin"
    row="Limit $mib MiB/s, 10 connections (rate achieved)"
    add_row "$row"
    rate_cell() {
      if [ "$cell" = failed ] || [ "$cell" = "wrong bytes" ]; then return; fi
      cell="$(python3 -c "r=$rate*4/$last_wall/1048576; print(f'{r:.2f} MiB/s ({(r/$mib-1)*100:+.1f} %)')")"
    }
    measure "" "$bench" "$url" --connections 10 --limit "$rate" --timeout 600 --output "$out"
    rate_cell
    put "$row" truvane "$cell"
    if have curl; then measure "" curl -sf --limit-rate "$rate" -o "$out" "$url"; rate_cell; put "$row" curl "$cell (1 conn.)"; fi
    if have wget; then measure "" wget -q --limit-rate="$rate" -O "$out" "$url"; rate_cell; put "$row" wget "$cell (1 conn.)"; fi
    if have aria2c; then
      measure "" aria2c -q -x10 -s10 -k1M --max-overall-download-limit="$rate" -d "$work/out" -o big.bin \
        --allow-overwrite=true "$url"
      rate_cell
      put "$row" aria2c "$cell"
    fi
    if have axel; then measure "" axel -q -n 10 -s "$rate" -o "$out" "$url"; rate_cell; put "$row" axel "$cell"; fi
    if have lftp; then
      measure "" lftp -c "set net:limit-total-rate $rate; set xfer:clobber on; pget -n 10 -O $work/out $url"
      rate_cell
      put "$row" lftp "$cell"
    fi
  done
fi

bound=900

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
if want small; then
  row="$small_files small files (16 KiB), 10 at a time"
  add_row "$row"
  : >"$work/urls.txt"
  for ((i = 0; i < small_files; i++)); do
    head -c 16384 /dev/urandom >"$work/www/small/f$i.bin"
    echo "http://127.0.0.1:$port/small/f$i.bin" >>"$work/urls.txt"
  done
  small_cell() { cell="${last_wall:-?} s"; }
  if have curl; then
    measure "" curl -sf -Z --parallel-max 10 --output-dir "$work/out" --remote-name-all $(cat "$work/urls.txt")
    [ "$cell" = failed ] || small_cell
    put "$row" curl "$cell"
  fi
  if have wget; then measure "" wget -q -P "$work/out" -i "$work/urls.txt"; [ "$cell" = failed ] || small_cell; put "$row" wget "$cell (1 at a time)"; fi
  if have aria2c; then
    measure "" aria2c -q -j10 -d "$work/out" -i "$work/urls.txt"
    [ "$cell" = failed ] || small_cell
    put "$row" aria2c "$cell"
  fi
  if have lftp; then
    measure "" lftp -c "set xfer:clobber on; set cmd:parallel 10; lcd $work/out; $(sed 's/^/get /; s/$/;/' "$work/urls.txt" | tr '\n' ' ')"
    [ "$cell" = failed ] || small_cell
    put "$row" lftp "$cell"
  fi
  # The real program, headless, in a home of its own: the files go into its queue, the
  # queue starts, and the time runs until the last one is complete.
  if [ -x "$program" ] && [ -x "$sender" ]; then
    home="$work/home"
    mkdir -p "$home"
    (
      export HOME="$home" XDG_DATA_HOME= XDG_CONFIG_HOME= XDG_STATE_HOME= XDG_CACHE_HOME=
      unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
      exec "$program" 2>"$work/program.err"
    ) &
    program_pid=$!
    send() { HOME="$home" timeout 20 "$sender" "$@"; }
    for _ in $(seq 300); do send --timeout 2 TrES GQSt >/dev/null 2>&1 && break; sleep 0.1; done
    last=""
    while read -r u; do
      last="$(send --timeout 10 TrES AUrl "----:TEXT=$u" Stqu:bool=false 2>/dev/null | tail -n 1)"
    done <"$work/urls.txt"
    start_s="$(date +%s.%N)"
    send --timeout 10 TrES StaQ >/dev/null 2>&1 || true
    status=""
    deadline=$(($(date +%s) + small_files * 3 + 120))
    while [ "$(date +%s)" -lt "$deadline" ]; do
      status="$(send --timeout 5 TrES JSta "----:magn=$last" 2>/dev/null | tail -n 1 || true)"
      [ "$status" = 256 ] || [ "$status" = 128 ] || [ "$status" = 64 ] && break
      sleep 0.2
    done
    end_s="$(date +%s.%N)"
    if [ "$status" = 256 ]; then
      put "$row" truvane "$(python3 -c "print(f'{$end_s-$start_s:.1f} s')") (one start per 2 s tick)"
    else
      put "$row" truvane "failed (status ${status:-none})"
    fi
    send --timeout 10 aevt quit >/dev/null 2>&1 || true
    for _ in $(seq 100); do kill -0 "$program_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$program_pid" 2>/dev/null || true
    program_pid=""
  fi
fi

# ---- The table
echo
echo "Median of $runs runs; s = wall time, u = user CPU seconds, MiB = peak memory. $(nproc) cores, $(uname -r)."
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
if [ ${#ratios[@]} -gt 0 ]; then
  echo
  echo "Truvane's wall time against the dd copy (median against median): $(IFS=,; echo "${ratios[*]}" | sed 's/,/, /g')."
fi
