#!/usr/bin/env bash
# How often an idle Truvane wakes up, and what it costs: starts the program with a fresh
# HOME and its own runtime folder, lets it settle, then reads every thread's context
# switches and the process's CPU time over a window. A program that sits in the tray all
# day should wake only for its own periodic timers.
#
#   bench/idle_wakeups.sh [BUILD_DIR]
#     TRUVANE_IDLE_SECONDS   length of the window (60)
#     TRUVANE_IDLE_SETTLE    seconds left to the start-up before the window opens (5)
#     TRUVANE_IDLE_MODES     of: headless window (both; "window" runs under Xvfb)
#
# Prints one line per mode (wake-ups a second, CPU seconds a minute) and the threads
# that woke, busiest first. A thread that starts or ends inside the window counts with
# what it did inside it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
seconds="${TRUVANE_IDLE_SECONDS:-60}"
settle="${TRUVANE_IDLE_SETTLE:-5}"
modes="${TRUVANE_IDLE_MODES:-headless window}"
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
hz="$(getconf CLK_TCK)"

# tid -> voluntary + involuntary switches, one "tid name count" line per thread.
snapshot() {
  local pid=$1 t
  for t in /proc/"$pid"/task/*; do
    [ -r "$t/status" ] || continue
    awk -v tid="${t##*/}" -v name="$(tr ' ' '_' <"$t/comm" 2>/dev/null)" \
      '/^(non)?voluntary_ctxt_switches/ {n += $2} END {print tid, name, n}' "$t/status" 2>/dev/null || true
  done
}
cpu_ticks() { awk '{print $14 + $15}' /proc/"$1"/stat; }

measure() {
  local mode=$1 display="" xvfb_pid=""
  local home="$work/$mode/home" rt="$work/$mode/run"
  mkdir -p "$home" "$rt"
  chmod 700 "$rt"
  if [ "$mode" = window ]; then
    command -v Xvfb >/dev/null || { echo "$mode: Xvfb is not installed, skipped"; return; }
    local n
    for n in $(seq 90 140); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
    display=":$n"
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    pids+=("$xvfb_pid")
    for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  (
    cd "$home"
    if [ -n "$display" ]; then
      exec env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY DISPLAY="$display" HOME="$home" XDG_RUNTIME_DIR="$rt" \
        XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_STATE_HOME="$home/.local/state" \
        "$build/bin/truvane"
    else
      exec env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen HOME="$home" XDG_RUNTIME_DIR="$rt" \
        XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_STATE_HOME="$home/.local/state" \
        "$build/bin/truvane"
    fi
  ) >"$work/$mode.log" 2>&1 &
  local pid=$!
  pids+=("$pid")
  sleep "$settle"
  kill -0 "$pid" 2>/dev/null || { echo "$mode: truvane ended at start-up:"; tail -5 "$work/$mode.log"; return 1; }
  snapshot "$pid" >"$work/$mode.before"
  local c0 c1
  c0=$(cpu_ticks "$pid")
  sleep "$seconds"
  c1=$(cpu_ticks "$pid")
  snapshot "$pid" >"$work/$mode.after"
  kill "$pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  awk -v secs="$seconds" -v mode="$mode" -v cpu="$(((c1 - c0)))" -v hz="$hz" '
    FNR == NR { before[$1] = $3; next }
    { d = $3 - ($1 in before ? before[$1] : 0); total += d; woke[$2] += d }
    END {
      printf "%-8s %6.2f wake-ups/s   %.3f s CPU/min   over %d s\n", mode, total / secs, cpu / hz * 60 / secs, secs
      n = 0
      for (t in woke) if (woke[t] > 0) printf "           %-18s %6.2f/s\n", t, woke[t] / secs | "sort -k2 -nr"
    }' "$work/$mode.before" "$work/$mode.after"
}

for mode in $modes; do measure "$mode"; done
