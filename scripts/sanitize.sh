#!/usr/bin/env bash
# Builds Truvane with AddressSanitizer and UndefinedBehaviorSanitizer into build-sanitize/
# (or $TRUVANE_SANITIZE_BUILD_DIR) and runs the unit tests under them. Extra arguments go
# to ctest (for example: scripts/sanitize.sh -R Plist).
#   TRUVANE_SANITIZE_SCOPE=core  only the test programs of platform/values, platform/net,
#                                app/engine and app/queue (what CI has time for), and two
#                                starts of the real program with a queue that holds a
#                                download and its enciphered password
# A report from either sanitizer fails the test that caused it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
build="${TRUVANE_SANITIZE_BUILD_DIR:-$here/build-sanitize}"
source "$here/scripts/ccache_env.sh"
if [ ! -f "$build/build.ninja" ]; then
  # Line numbers in reports are worth the debug information, except on CI's two cores.
  type=RelWithDebInfo
  if [ "${CI:-}" = true ]; then type=Release; fi
  werror=OFF
  if [ "${CI:-}" = true ]; then werror=ON; fi
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DTRUVANE_SANITIZE=ON \
    -DTRUVANE_WERROR="$werror" -DTRUVANE_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
jobs="${TRUVANE_JOBS:-$(nproc)}"
filter=()
if [ "${TRUVANE_SANITIZE_SCOPE:-all}" = core ]; then
  programs=(test_platform_values test_platform_net test_app_engine test_app_queue)
  cmake --build "$build" -j "$jobs" --target "${programs[@]}" test_app_shell
  # Each test carries its program's name as a label (cmake/TruvaneTargets.cmake).
  filter=(-L "^($(IFS='|'; echo "${programs[*]}"))\$")
else
  cmake --build "$build" -j "$jobs"
fi
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1:check_initialization_order=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Leaks inside system libraries that Truvane cannot free (scripts/lsan_suppressions.txt).
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$here/scripts/lsan_suppressions.txt:print_suppressions=0}"
cd "$build"
ctest --output-on-failure --timeout 480 -j "$jobs" "${filter[@]}" "$@"
if [ "${TRUVANE_SANITIZE_SCOPE:-all}" = core ]; then
  # The unit tests never start the program the way a person does; this one does, twice.
  ctest --output-on-failure --timeout 480 -R '^StoredPasswords\.PasswordInAURLIsSavedEncipheredAndLogsInAfterARestart$'
fi
