#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Extra arguments go to ctest
# (for example: scripts/test.sh -R Plist).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh"
"$here/scripts/check_format.sh"
python3 "$here/scripts/check_layering.py"
build="${TRUVANE_BUILD_DIR:-$here/build}"
cd "$build"
ctest --output-on-failure --timeout 300 -j "${TRUVANE_JOBS:-$(nproc)}" "$@"
