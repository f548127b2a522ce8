#!/usr/bin/env bash
# Configures and builds Truvane into build/ (or $TRUVANE_BUILD_DIR). Compiler output is
# cached by ccache outside the clone (scripts/ccache_env.sh).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
build="${TRUVANE_BUILD_DIR:-$here/build}"
source "$here/scripts/ccache_env.sh"
if [ ! -f "$build/build.ninja" ]; then
  type=RelWithDebInfo
  # A warning fails CI's build; elsewhere TRUVANE_WERROR=ON asks for the same.
  werror="${TRUVANE_WERROR:-OFF}"
  ci=()
  if [ "${CI:-}" = true ]; then
    # CI builds everything from scratch on two cores: no debug information, -O1 (most of
    # the time goes into optimising test bodies, which gain nothing from -O3). The
    # benchmark programs are built: a test runs the comparison scripts on a small file.
    type=Release
    werror=ON
    ci=(-DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG")
  fi
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TRUVANE_BUILD_TYPE:-$type}" \
    -DTRUVANE_WERROR="$werror" "${ci[@]}" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
jobs="${TRUVANE_JOBS:-$(nproc)}"
cmake --build "$build" -j "$jobs"
