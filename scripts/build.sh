#!/usr/bin/env bash
# Configures and builds Truvane into build/ (or $TRUVANE_BUILD_DIR). Compiler output is
# cached by ccache outside the clone (scripts/ccache_env.sh).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
build="${TRUVANE_BUILD_DIR:-$here/build}"
source "$here/scripts/ccache_env.sh"
if [ ! -f "$build/build.ninja" ]; then
  # CI builds without debug information: it compiles noticeably faster on two cores.
  type=RelWithDebInfo
  if [ "${CI:-}" = true ]; then type=Release; fi
  # A warning fails CI's build; elsewhere TRUVANE_WERROR=ON asks for the same.
  werror="${TRUVANE_WERROR:-OFF}"
  if [ "${CI:-}" = true ]; then werror=ON; fi
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TRUVANE_BUILD_TYPE:-$type}" \
    -DTRUVANE_WERROR="$werror" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
jobs="${TRUVANE_JOBS:-$(nproc)}"
cmake --build "$build" -j "$jobs"
