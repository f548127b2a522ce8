# Sourced by the build scripts after they set `here` (the top of the clone). Compiler
# output is cached by ccache outside the clone, keyed by paths relative to it, so a fresh
# clone or another worktree on the same machine builds fast.
export CCACHE_DIR="${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/truvane-ccache}"
export CCACHE_BASEDIR="$here"
export CCACHE_NOHASHDIR=1
