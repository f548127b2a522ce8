#!/usr/bin/env bash
# Installs what is missing, builds, and runs Truvane with the given arguments.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh" >/dev/null
build="${TRUVANE_BUILD_DIR:-$here/build}"
exec "$build/bin/truvane" "$@"
