#!/usr/bin/env bash
# Downloads URLs with Truvane from the command line, the way curl, wget or aria2c do. See
# usage() below, or run it with --help.
set -uo pipefail

usage() {
  cat <<'EOF'
usage: scripts/download.sh [--help] URL [URL ...]

Downloads each URL with Truvane, one after the other and in the order given, into the
download folder (the XDG download folder, else ~/Downloads), and prints where each file
is. Truvane is built first when needed; when it is not running it is started without a
display, and quit again at the end.

While a download runs:
  - on a terminal, one progress line is updated about once a second: percent, bytes,
    rate and time left; when the output is not a terminal, plain lines are printed;
  - when a connection fails and Truvane retries, the reason is printed once, for
    example "connection refused, retrying in 25 s".

When a download fails, the reason from its own log is printed (the HTTP status and its
text, the name that did not resolve, the certificate problem), and the next URL is
tried.

Ctrl-C stops the download and quits Truvane if this command started it. The partial
download is kept: running the same command again resumes it.

Exit status: 0 when every download completed, 1 when one failed or Truvane could not be
reached, 2 for a usage error, 130 after Ctrl-C.

Environment: TRUVANE_BUILD_DIR, the build folder (build/ by default);
TRUVANE_BIN_DIR, a folder holding truvane and truvane-send to use without building.
EOF
}

urls=()
for arg in "$@"; do
  case "$arg" in
    -h | --help)
      usage
      exit 0
      ;;
    -*)
      echo "download.sh: unknown option $arg" >&2
      usage >&2
      exit 2
      ;;
    *) urls+=("$arg") ;;
  esac
done
if [ ${#urls[@]} -eq 0 ]; then
  usage >&2
  exit 2
fi

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
if [ -n "${TRUVANE_BIN_DIR:-}" ]; then
  bin="$TRUVANE_BIN_DIR"
else
  if ! "$here/scripts/build.sh" >/dev/null; then
    echo "download.sh: the build failed" >&2
    exit 1
  fi
  bin="${TRUVANE_BUILD_DIR:-$here/build}/bin"
fi
send="$bin/truvane-send"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi

on_terminal=0
if [ -t 2 ]; then on_terminal=1; fi
errors="$(mktemp)"
trap 'rm -f "$errors"' EXIT

interrupted=0
trap 'interrupted=1' INT TERM

# Asks Truvane; prints the answer. Fails when the event failed (the reason in $errors).
ask() {
  "$send" --timeout 10 "$@" 2>"$errors"
}

# A pause that Ctrl-C ends at once.
pause() {
  sleep "$1" &
  wait $! 2>/dev/null
}

started_here=0
if ! "$send" --timeout 3 TrES GQSt >/dev/null 2>&1; then
  started_here=1
  if ! "$send" --launch --timeout 60 TrES GQSt >/dev/null 2>"$errors"; then
    echo "download.sh: Truvane did not start: $(cat "$errors")" >&2
    exit 1
  fi
fi

quit_truvane() {
  [ "$started_here" = 1 ] || return 0
  started_here=0
  # Quitting waits for running downloads and saves the queue; it is over when the
  # program has let go of its socket.
  "$send" --timeout 60 aevt quit >/dev/null 2>&1 || true
  for _ in $(seq 1 300); do
    "$send" --timeout 1 TrES GQSt >/dev/null 2>&1 || break
    sleep 0.2
  done
}

# 1536 -> "1.5 KiB".
human() {
  awk -v n="$1" 'BEGIN {
    split("B KiB MiB GiB TiB", u, " "); i = 1
    while (n >= 1024 && i < 5) { n /= 1024; i++ }
    if (i == 1) printf "%d %s", n, u[i]; else printf "%.1f %s", n, u[i]
  }'
}

# 75 -> "1m15s".
duration() {
  local s=$1
  if [ "$s" -ge 3600 ]; then
    printf '%dh%02dm' $((s / 3600)) $((s % 3600 / 60))
  elif [ "$s" -ge 60 ]; then
    printf '%dm%02ds' $((s / 60)) $((s % 60))
  else
    printf '%ds' "$s"
  fi
}

status_line_shown=0
# Ends the progress line on a terminal before anything else is printed.
end_progress_line() {
  if [ "$status_line_shown" = 1 ]; then
    printf '\n' >&2
    status_line_shown=0
  fi
}

# The download's own log, lines separated by newlines.
download_log() {
  ask TrES TLog "----:magn=$1" | tr '\r' '\n'
}

# Why the download failed: the HTTP status of the last error response in its log, else
# the reason its status line gives, else the last line of its log.
failure_reason() {
  local uid=$1 info=$2 log http reason
  log="$(download_log "$uid")"
  http="$(printf '%s\n' "$log" | grep -E '^HTTP/[0-9.]+ [45][0-9][0-9]' | tail -n 1)"
  if [ -n "$http" ]; then
    printf 'HTTP %s\n' "${http#HTTP/* }"
    return
  fi
  case "$info" in
    *": "*)
      printf '%s\n' "${info#*: }"
      return
      ;;
  esac
  reason="$(printf '%s\n' "$log" | grep -v '^[[:space:]]*$' | grep -v ', retrying in ' | tail -n 1)"
  printf '%s\n' "${reason:-$info}"
}

# "POSIX 61 (connection refused), retrying in 25 s" -> "connection refused, retrying in 25 s".
retry_text() {
  sed -E 's/^[A-Za-z ]+ -?[0-9]+ \((.*)\)(, retrying in .*)$/\1\2/'
}

# An unfinished download of exactly this URL already in the queue (the one a Ctrl-C left),
# so that running the same command again resumes it.
existing_download() {
  local url=$1 uid status
  for uid in $(ask TrES LQue | awk -F '\t' -v u="$url" '$3 == u { print $2 }'); do
    status="$(ask TrES JSta "----:magn=$uid" | tr -dc '0-9')"
    if [ -n "$status" ] && [ "$status" != 256 ] && [ "$status" != 0 ]; then
      echo "$uid"
      return
    fi
  done
}

# Follows one download until it ends; prints its progress and retry reasons. Sets
# final_status (256 completed, 128 failed, 64 stopped) and final_info.
follow() {
  local uid=$1 status info got total rate=0 left last_got=-1 last_time now elapsed line
  local said_retry="" plain_step=none plain_time=0 step
  last_time=$(date +%s%N)
  final_status=0
  while [ "$interrupted" = 0 ]; do
    status="$(ask TrES JSta "----:magn=$uid" | tr -dc '0-9')"
    info="$(ask TrES Info "----:magn=$uid")"
    case "$status" in
      256 | 128 | 64)
        final_status=$status
        final_info=$info
        end_progress_line
        return
        ;;
      "")
        final_status=0
        final_info="Truvane stopped answering"
        end_progress_line
        return
        ;;
    esac

    got=0
    total=0
    if [[ "$info" =~ ([0-9]+)\ bytes\ of\ (-?[0-9]+) ]]; then
      got=${BASH_REMATCH[1]}
      total=${BASH_REMATCH[2]}
    elif [[ "$info" =~ ([0-9]+)\ bytes\ transferred ]]; then
      got=${BASH_REMATCH[1]}
    fi
    now=$(date +%s%N)
    elapsed=$(((now - last_time) / 1000000))
    if [ "$last_got" -ge 0 ] && [ "$elapsed" -gt 0 ]; then
      # Smoothed over a few seconds, so one slow second does not swing the time left.
      rate=$(((rate + (got - last_got) * 1000 / elapsed) / 2))
      [ "$rate" -lt 0 ] && rate=0
    fi
    last_got=$got
    last_time=$now

    line="$(human "$got")"
    if [ "$total" -gt 0 ]; then
      line="$((got * 100 / total))%  $line of $(human "$total")"
    fi
    line="$line  $(human "$rate")/s"
    if [ "$total" -gt 0 ] && [ "$rate" -gt 0 ]; then
      left=$(((total - got) / rate))
      line="$line  $(duration "$left") left"
    fi

    while IFS= read -r retry; do
      [ -n "$retry" ] || continue
      case "$said_retry" in *"|$retry|"*) continue ;; esac
      said_retry="$said_retry|$retry|"
      end_progress_line
      printf '%s\n' "$(printf '%s\n' "$retry" | retry_text)" >&2
    done < <(download_log "$uid" | grep ', retrying in ' | sed 's/^[[:space:]]*//')

    if [ "$on_terminal" = 1 ]; then
      printf '\r\033[K%s' "$line" >&2
      status_line_shown=1
    else
      # Plain lines: at each tenth of the file, and at least every 10 s.
      step=-1
      if [ "$total" -gt 0 ]; then step=$((got * 10 / total)); fi
      if [ "$step" != "$plain_step" ] || [ $(($(date +%s) - plain_time)) -ge 10 ]; then
        printf '%s\n' "$line" >&2
        plain_step=$step
        plain_time=$(date +%s)
      fi
    fi
    pause 1
  done
  end_progress_line
}

# Ctrl-C: the download stops where it is (its partial package stays) and a Truvane this
# command started quits, saving the queue.
stop_here() {
  local uid=$1
  end_progress_line
  if [ -n "$uid" ]; then
    "$send" --timeout 10 TrES Canc "----:magn=$uid" >/dev/null 2>&1 || true
    for _ in $(seq 1 100); do
      case "$("$send" --timeout 5 TrES JSta "----:magn=$uid" 2>/dev/null | tr -dc '0-9')" in
        4 | 8) sleep 0.2 ;;
        *) break ;;
      esac
    done
  fi
  quit_truvane
  echo "Stopped. The partial download is kept: run the same command again to resume." >&2
  exit 130
}

failed=0
completed=()
for url in "${urls[@]}"; do
  [ "$interrupted" = 0 ] || stop_here ""
  uid="$(existing_download "$url")"
  if [ -n "$uid" ]; then
    echo "Resuming $url" >&2
    ask TrES StQd "----:magn=$uid" >/dev/null
  else
    # The reply lists the new download's UID; a refused URL comes back with its reason.
    if ! reply="$(ask TrES AUrl "----:TEXT=$url" Stqu:bool=true)"; then
      reason="$(sed -e 's/^truvane-send: the event failed (error -\?[0-9]*): //' "$errors")"
      echo "download.sh: $url: ${reason:-Truvane did not take the URL}" >&2
      failed=1
      continue
    fi
    uid="$(printf '%s\n' "$reply" | tail -n 1 | tr -dc '0-9')"
    if [ -z "$uid" ] || [ "$uid" = 0 ]; then
      echo "download.sh: $url: Truvane did not take the URL" >&2
      failed=1
      continue
    fi
  fi
  ask TrES StaQ >/dev/null

  follow "$uid"
  [ "$interrupted" = 0 ] || stop_here "$uid"
  case "$final_status" in
    256)
      echo "$url: $final_info" >&2
      completed+=("$uid")
      ;;
    *)
      echo "download.sh: $url: $(failure_reason "$uid" "$final_info")" >&2
      failed=1
      ;;
  esac
done

quit_truvane

# Where the files are: the saved queue knows once Truvane has quit; a Truvane that stays
# running has them in its download folder.
queue_file="${XDG_DATA_HOME:-$HOME/.local/share}/Truvane/Truvane Queue.plist"
for uid in "${completed[@]}"; do
  path=""
  if [ -f "$queue_file" ]; then
    path="$(python3 - "$queue_file" "$uid" <<'PY'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    queue = plistlib.load(f)
for element in queue.get("Elements", []):
    if str(element.get("UID")) == sys.argv[2]:
        print(element.get("completeURL", ""))
PY
)"
  fi
  if [ -n "$path" ]; then echo "$path"; else echo "Downloaded (UID $uid) into the download folder."; fi
done
exit "$failed"
