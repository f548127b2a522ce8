#!/usr/bin/env bash
# Configures and builds Truvane into build/ (or $TRUVANE_BUILD_DIR). Compiler output is
# cached by ccache outside the clone, so a fresh clone on the same machine builds fast.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/setup.sh"
build="${TRUVANE_BUILD_DIR:-$here/build}"
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/truvane-ccache}"
export CCACHE_BASEDIR="$here"
export CCACHE_NOHASHDIR=1
if [ ! -f "$build/build.ninja" ]; then
  # CI builds without debug information: it compiles noticeably faster on two cores.
  type=RelWithDebInfo
  if [ "${CI:-}" = true ]; then type=Release; fi
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${TRUVANE_BUILD_TYPE:-$type}" \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null
fi
jobs="${TRUVANE_JOBS:-$(nproc)}"
cmake --build "$build" -j "$jobs"
