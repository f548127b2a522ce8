#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with clang's libFuzzer (and AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/, and runs them.
#   scripts/fuzz.sh                    build every target
#   scripts/fuzz.sh NAME [SECONDS]     build, then fuzz NAME (default 600 s)
# A run starts from the seed corpus tests/fuzz/corpus/NAME and keeps what it finds in
# build-fuzz/corpus/NAME, so the seeds in the repository stay small; a crashing input is
# written to build-fuzz/artifacts/NAME/. Copy an input that once failed into the seed
# corpus with its fix: the normal build replays the seeds (ctest -R fuzz_replay).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TRUVANE_FUZZ_BUILD_DIR:-$here/build-fuzz}"
source "$here/scripts/ccache_env.sh"
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is needed (apt-get install clang)" >&2
  exit 1
fi
# Every target tests/fuzz/CMakeLists.txt declares, so a new one needs no edit here.
mapfile -t targets < <(sed -n 's/^truvane_fuzz_target(\([a-z0-9_]*\).*/\1/p' "$here/tests/fuzz/CMakeLists.txt")
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DTRUVANE_FUZZ=ON -DTRUVANE_TESTS=OFF -DTRUVANE_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
cmake --build "$build" -j "${TRUVANE_JOBS:-$(nproc)}" --target "${targets[@]/#/fuzz_}"
[ $# -eq 0 ] && exit 0

name="$1"
seconds="${2:-600}"
# The same leaks inside system libraries as the sanitizer run (scripts/sanitize.sh): not
# the target's, so not a finding.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/scripts/lsan_suppressions.txt:print_suppressions=0}"
mkdir -p "$build/corpus/$name" "$build/artifacts/$name"
# -timeout: one input taking longer is a hang; -rss_limit_mb: a reader that grows without
# bound is a fault. The outer timeout bounds the whole run even if the fuzzer sticks.
timeout --kill-after=30 $((seconds + 120)) \
  "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/artifacts/$name/" -print_final_stats=1 \
  "$build/corpus/$name" "$here/tests/fuzz/corpus/$name"
