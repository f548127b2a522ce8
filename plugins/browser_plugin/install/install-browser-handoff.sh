#!/usr/bin/env bash
# Installs Truvane's browser hand-off for the current user:
#   - the plug-in bundle ("Truvane Browser Plugin.plugin") with the plug-in library and the
#     native-messaging host in the user's Internet Plug-Ins folder, and a first type
#     resource when there is none yet (the preferences write it from then on);
#   - the browser extension in the user's Truvane folder;
#   - the native host's manifest in the per-user folders of Chromium, Chrome and Firefox
#     (and in a browser profile given with --profile, which Chromium reads instead of the
#     per-user folder when it runs with --user-data-dir);
#   - ~/.local/bin/truvane, a link to the Truvane it is given (--program; by default the
#     build's bin/truvane beside the host's folder), where a hand-off finds the program
#     before it has ever run.
#
#   install-browser-handoff.sh --plugin LIBRARY --host PROGRAM --extension FOLDER [--program TRUVANE] [--profile DIR]...
set -euo pipefail

plugin="" host="" extension="" program="" profiles=()
while (($#)); do
  case "$1" in
    --plugin) plugin="$2"; shift 2 ;;
    --host) host="$2"; shift 2 ;;
    --extension) extension="$2"; shift 2 ;;
    --profile) profiles+=("$2"); shift 2 ;;
    --program) program="$2"; shift 2 ;;
    *) echo "install-browser-handoff: unknown argument $1" >&2; exit 2 ;;
  esac
done
if [ -z "$plugin" ] || [ -z "$host" ] || [ -z "$extension" ]; then
  echo "usage: install-browser-handoff.sh --plugin LIBRARY --host PROGRAM --extension FOLDER [--program TRUVANE] [--profile DIR]..." >&2
  exit 2
fi

name="com.orbenix.truvane.browser_host"
# The extension's id follows from the public key in its manifest.
chromium_origin="chrome-extension://bgnmdgbcadknefdempadlnkhmbmfdfin/"
firefox_id="browser-handoff@truvane.orbenix.com"

data="${XDG_DATA_HOME:-$HOME/.local/share}"
case "$data" in /*) ;; *) data="$HOME/.local/share" ;; esac
config="${XDG_CONFIG_HOME:-$HOME/.config}"
case "$config" in /*) ;; *) config="$HOME/.config" ;; esac

bundle="$data/Truvane/Internet Plug-Ins/Truvane Browser Plugin.plugin"
mkdir -p "$bundle/Contents/Linux" "$bundle/Contents/Resources"
install -m 0755 "$plugin" "$bundle/Contents/Linux/libtruvane_browser_plugin.so"
install -m 0755 "$host" "$bundle/Contents/Linux/truvane-browser-host"
host_path="$bundle/Contents/Linux/truvane-browser-host"

resource="$bundle/Contents/Resources/Truvane Browser Plugin.rsrc"
if [ ! -f "$resource" ]; then
  "$host_path" --write-types "$resource" \
    "application/zip|zip|ZIP archive" \
    "application/x-tar|tar,tgz|Tape ARchive" \
    "application/x-gzip|gz,tgz|GZip archive" \
    "application/x-bzip2|bz2,tbz|BZip2 archive" \
    "application/x-bittorrent|torrent|Bittorrent file" \
    "application/x-stuffit|sit,sitx|Stuffit Archive" \
    "application/x-apple-diskimage|dmg|Disk image" \
    "application/x-url-list|urls|Streamload data"
fi

extension_dir="$data/Truvane/Browser Extension"
rm -rf "$extension_dir"
mkdir -p "$extension_dir"
cp -R "$extension"/. "$extension_dir"/

json_path=$(printf '%s' "$host_path" | sed 's/\\/\\\\/g; s/"/\\"/g')
chromium_manifest() {
  mkdir -p "$1"
  cat > "$1/$name.json" <<JSON
{
  "name": "$name",
  "description": "Truvane browser hand-off",
  "path": "$json_path",
  "type": "stdio",
  "allowed_origins": ["$chromium_origin"]
}
JSON
}
chromium_manifest "$config/chromium/NativeMessagingHosts"
chromium_manifest "$config/google-chrome/NativeMessagingHosts"
for profile in "${profiles[@]}"; do chromium_manifest "$profile/NativeMessagingHosts"; done

mkdir -p "$HOME/.mozilla/native-messaging-hosts"
cat > "$HOME/.mozilla/native-messaging-hosts/$name.json" <<JSON
{
  "name": "$name",
  "description": "Truvane browser hand-off",
  "path": "$json_path",
  "type": "stdio",
  "allowed_extensions": ["$firefox_id"]
}
JSON

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

echo "Installed. Load the extension from: $extension_dir"
echo "  Chromium: chrome://extensions, Developer mode, Load unpacked (or --load-extension=\"$extension_dir\")"
echo "  Firefox:  about:debugging, This Firefox, Load Temporary Add-on (manifest.json)"
