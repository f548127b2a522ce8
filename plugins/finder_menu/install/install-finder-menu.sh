#!/usr/bin/env bash
# Installs Truvane's file-manager upload command for the current user: the menu plug-in
# and its host in the user's "Contextual Menu Items" folder, a service menu for Dolphin
# and a script for Nautilus, both of which hand the selection to the host.
#
#   install-finder-menu.sh --plugin LIBRARY --host PROGRAM
set -euo pipefail

plugin="" host=""
while (($#)); do
  case "$1" in
    --plugin) plugin="$2"; shift 2 ;;
    --host) host="$2"; shift 2 ;;
    *) echo "install-finder-menu: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$plugin" ] || [ -z "$host" ]; then
  echo "usage: install-finder-menu.sh --plugin LIBRARY --host PROGRAM" >&2
  exit 2
fi

data="${XDG_DATA_HOME:-$HOME/.local/share}"
case "$data" in /*) ;; *) data="$HOME/.local/share" ;; esac

bundle="$data/Truvane/Contextual Menu Items/Truvane CMM.plugin/Contents/Linux"
mkdir -p "$bundle"
install -m 0755 "$plugin" "$bundle/libtruvane_finder_menu.so"
install -m 0755 "$host" "$bundle/truvane-finder-host"
host_path="$bundle/truvane-finder-host"
# Desktop-entry Exec quoting: the path in double quotes, with \ " ` $ escaped.
exec_path=$(printf '%s' "$host_path" | sed 's/[\\"`$]/\\\\&/g')

servicemenus="$data/kio/servicemenus"
mkdir -p "$servicemenus"
cat > "$servicemenus/truvane-upload.desktop" <<DESKTOP
[Desktop Entry]
Type=Service
MimeType=all/all;
Actions=truvaneUpload;
X-KDE-Priority=TopLevel

[Desktop Action truvaneUpload]
Name=Upload to RapidShare with Truvane
Icon=document-send
Exec="$exec_path" %F
DESKTOP
# Dolphin runs only service menus that are executable.
chmod +x "$servicemenus/truvane-upload.desktop"

scripts="$data/nautilus/scripts"
mkdir -p "$scripts"
script="$scripts/Upload to RapidShare with Truvane"
printf '#!/bin/sh\n# Nautilus passes the selected local files as arguments.\nexec %q "$@"\n' "$host_path" > "$script"
chmod +x "$script"
echo "Installed the upload command for Dolphin and Nautilus."
