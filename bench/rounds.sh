# Interleaved rounds for the comparison scripts (sourced, not run).
#
# A figure taken as N runs of one tool back to back, then N of the next, carries whatever
# the machine did in that stretch (page cache, writeback of the previous tool's file, a
# neighbour's build) into that tool alone. Here every job runs once per round, the order
# rotating from round to round, so each tool meets the same machine; a figure is the
# median over rounds with its spread.
#
#   work=DIR; source bench/rounds.sh     (DIR: a private scratch folder)
#   bench_job ID EXPECT_SHA OUTPUT [--pre SHELL_TEXT] -- COMMAND...
#       EXPECT_SHA: sha256 the OUTPUT file must have after each run ("" for no check)
#       OUTPUT: the file the job writes (removed before each run; "" for none)
#       --pre: shell text run before each run, outside the timing
#       COMMAND: a program, or a shell function that sets bench_wall itself (seconds)
#   bench_rounds RUNS [ID...]     runs the given jobs (all when none) in RUNS rounds
#   bench_figures ID              sets fig_wall fig_min fig_max fig_user fig_rss_mib
#                                 (fig_wall empty when the job failed; fig_error says why)
#   bench_time_cell ID            prints "0.60 s (0.58-0.63), 0.41 u, 12 MiB" or the failure
#
# bench_bound (seconds, 900 unless set) bounds each run; a run that outlives it is killed
# five seconds later even if it ignores the polite signal.

declare -a bench_ids=()
declare -A bench_expect=() bench_output=() bench_pre=() bench_cmd=() bench_error=()
declare -A bench_walls=() bench_users=() bench_rsss=()
bench_bound="${bench_bound:-900}"

bench_job() {
  local id="$1" expect="$2" output="$3" pre=""
  shift 3
  if [ "${1:-}" = --pre ]; then
    pre="$2"
    shift 2
  fi
  [ "${1:-}" = -- ] && shift
  bench_ids+=("$id")
  bench_expect["$id"]="$expect"
  bench_output["$id"]="$output"
  bench_pre["$id"]="$pre"
  # The words are kept quoted so that arguments with spaces survive the round trip.
  bench_cmd["$id"]="$(printf '%q ' "$@")"
  bench_walls["$id"]=""
  bench_users["$id"]=""
  bench_rsss["$id"]=""
}

bench_run_once() {
  local id="$1" output="${bench_output[$1]}" expect="${bench_expect[$1]}"
  [ -n "${bench_error[$id]:-}" ] && return 0
  [ -n "$output" ] && rm -rf "$output"
  [ -n "${bench_pre[$id]}" ] && eval "${bench_pre[$id]}"
  # What the previous job wrote is flushed outside anyone's timing.
  sync
  local -a words
  eval "words=(${bench_cmd[$id]})"
  local wall cpu_user rss
  if [ "$(type -t "${words[0]}")" = function ]; then
    bench_wall=""
    local start end
    start="$(date +%s.%N)"
    if ! "${words[@]}" >"$work/job.out" 2>"$work/job.err"; then
      bench_error["$id"]="failed ($(tail -n 2 "$work/job.err" | tr '\n' ' '))"
      return 0
    fi
    end="$(date +%s.%N)"
    wall="${bench_wall:-$(python3 -c "print(f'{$end-$start:.3f}')")}"
    cpu_user="-"
    rss="-"
  else
    if ! /usr/bin/time -f '%e %U %M' -o "$work/job.time" timeout -k 5 "$bench_bound" "${words[@]}" \
      >"$work/job.out" 2>"$work/job.err"; then
      bench_error["$id"]="failed ($(tail -n 2 "$work/job.err" | tr '\n' ' '))"
      echo "$id: ${bench_error[$id]}" >&2
      return 0
    fi
    read -r wall cpu_user rss <"$work/job.time"
  fi
  if [ -n "$expect" ]; then
    local got
    got="$(sha256sum "$output" 2>/dev/null | cut -d' ' -f1)"
    if [ "$got" != "$expect" ]; then
      bench_error["$id"]="wrong bytes"
      echo "$id: wrong bytes in $output" >&2
      return 0
    fi
  fi
  bench_walls["$id"]+="$wall "
  bench_users["$id"]+="$cpu_user "
  bench_rsss["$id"]+="$rss "
}

bench_rounds() {
  local runs="$1"
  shift
  local -a ids=("$@")
  [ ${#ids[@]} -gt 0 ] || ids=("${bench_ids[@]}")
  local n=${#ids[@]} r i
  for ((r = 0; r < runs; r++)); do
    for ((i = 0; i < n; i++)); do
      bench_run_once "${ids[$(((i + r) % n))]}"
    done
  done
}

bench_median() {
  # shellcheck disable=SC2048,SC2086
  printf '%s\n' $* | { grep -v '^-$' || true; } | sort -g | awk '{v[NR]=$1} END {if (NR) print v[int((NR+1)/2)]}'
}

bench_figures() {
  local id="$1"
  fig_error="${bench_error[$id]:-}"
  fig_wall="" fig_min="" fig_max="" fig_user="" fig_rss_mib=""
  [ -z "$fig_error" ] || return 0
  [ -n "${bench_walls[$id]}" ] || {
    fig_error="not run"
    return 0
  }
  fig_wall="$(bench_median "${bench_walls[$id]}")"
  fig_min="$(printf '%s\n' ${bench_walls[$id]} | sort -g | head -n 1)"
  fig_max="$(printf '%s\n' ${bench_walls[$id]} | sort -g | tail -n 1)"
  fig_user="$(bench_median "${bench_users[$id]}")"
  local rss
  rss="$(bench_median "${bench_rsss[$id]}")"
  [ -n "$rss" ] && fig_rss_mib=$((rss / 1024))
  return 0
}

bench_time_cell() {
  bench_figures "$1"
  if [ -n "$fig_error" ]; then
    echo "$fig_error"
    return
  fi
  local cell="$fig_wall s ($fig_min-$fig_max)"
  [ -n "$fig_user" ] && cell+=", $fig_user u"
  [ -n "$fig_rss_mib" ] && cell+=", $fig_rss_mib MiB"
  echo "$cell"
}
