#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what the repository's .clang-format makes of it.
# Pinned to Debian's clang-format (14 on bookworm): other versions format a few constructs
# differently. `scripts/check_format.sh --fix` rewrites the files in place.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.cc' '*.c')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
out=$(printf '%s\0' "${files[@]}" | xargs -0 -n 40 -P "$(nproc)" clang-format --dry-run 2>&1 | grep -oE '^[^:]+:[0-9]+:[0-9]+: (warning|error)' | cut -d: -f1 | sort -u || true)
if [ -n "$out" ]; then
  echo "check_format: these files are not formatted (run scripts/check_format.sh --fix):" >&2
  printf '  %s\n' $out >&2
  exit 1
fi
