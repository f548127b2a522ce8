#!/usr/bin/env bash
# Downloads one URL with Truvane, without a display: builds what is needed, starts Truvane
# when it is not running, hands it the URL, starts the queue, waits until the download
# ends, prints where the file is, and quits Truvane again if this script started it.
#
#   scripts/download.sh URL
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 URL" >&2
  exit 2
fi
url="$1"

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$here/scripts/build.sh" >/dev/null
build="${TRUVANE_BUILD_DIR:-$here/build}"
send="$build/bin/truvane-send"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
fi

started_here=0
if ! "$send" --timeout 3 TrES GQSt >/dev/null 2>&1; then
  started_here=1
fi

# The reply lists the new download's UID; --launch starts Truvane with the URL as its
# first event when none is running.
reply="$("$send" --launch --timeout 60 TrES AUrl "----:TEXT=$url" Stqu:bool=true)"
uid="$(printf '%s\n' "$reply" | tail -n 1 | tr -dc '0-9')"
if [ -z "$uid" ]; then
  echo "Truvane did not take the URL: $url" >&2
  exit 1
fi
"$send" --timeout 10 TrES StaQ >/dev/null

status=0
while :; do
  status="$("$send" --timeout 10 TrES JSta "----:magn=$uid" | tr -dc '0-9')"
  case "$status" in
    256 | 128 | 64 | 0) break ;;
  esac
  sleep 0.5
done
info="$("$send" --timeout 10 TrES Info "----:magn=$uid" || true)"

if [ "$started_here" = 1 ]; then
  "$send" --timeout 30 aevt quit >/dev/null || true
  # Quitting saves the queue; wait until the program has let go of its socket.
  for _ in $(seq 1 100); do
    "$send" --timeout 1 TrES GQSt >/dev/null 2>&1 || break
    sleep 0.2
  done
fi

queue_file="${XDG_DATA_HOME:-$HOME/.local/share}/Truvane/Truvane Queue.plist"
path=""
if [ -f "$queue_file" ]; then
  path="$(python3 - "$queue_file" "$uid" <<'PY'
import plistlib, sys
with open(sys.argv[1], "rb") as f:
    queue = plistlib.load(f)
for element in queue.get("Elements", []):
    if str(element.get("UID")) == sys.argv[2]:
        print(element.get("completeURL", ""))
PY
)"
fi

if [ "$status" = 256 ]; then
  echo "$info"
  if [ -n "$path" ]; then echo "$path"; else echo "Downloaded (UID $uid) into the download folder."; fi
  exit 0
fi
echo "The download did not complete: ${info:-status $status}" >&2
exit 1
