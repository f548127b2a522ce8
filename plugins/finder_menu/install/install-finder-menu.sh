#!/usr/bin/env bash
# Installs Truvane's file-manager upload command for the current user: the menu plug-in
# and its host in the user's "Contextual Menu Items" folder, a service menu for Dolphin
# and a script for Nautilus, both of which hand the selection to the host.
#
# It also links ~/.local/bin/truvane to the Truvane it is given (--program; by default the
# build's bin/truvane beside the host's folder), where the hand-off finds the program
# before it has ever run.
#
#   install-finder-menu.sh --plugin LIBRARY --host PROGRAM [--program TRUVANE]
set -euo pipefail

plugin="" host="" program=""
while (($#)); do
  case "$1" in
    --plugin) plugin="$2"; shift 2 ;;
    --host) host="$2"; shift 2 ;;
    --program) program="$2"; shift 2 ;;
    *) echo "install-finder-menu: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$plugin" ] || [ -z "$host" ]; then
  echo "usage: install-finder-menu.sh --plugin LIBRARY --host PROGRAM [--program TRUVANE]" >&2
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
# Where the hand-off finds Truvane before it has ever run: ~/.local/bin/truvane, linked to
# the program given (by default the build's, beside the host's folder). A program of
# another kind already there is the user's own and is left alone.
if [ -z "$program" ] && [ -x "$(dirname "$host")/../bin/truvane" ]; then
  program="$(dirname "$host")/../bin/truvane"
fi
if [ -n "$program" ]; then
  program="$(realpath "$program")"
  mkdir -p "$HOME/.local/bin"
  if [ -e "$HOME/.local/bin/truvane" ] && [ ! -L "$HOME/.local/bin/truvane" ]; then
    echo "Kept $HOME/.local/bin/truvane (not a link made here)."
  else
    ln -sfn "$program" "$HOME/.local/bin/truvane"
  fi
fi

echo "Installed the upload command for Dolphin and Nautilus."
