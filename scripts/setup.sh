#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again:
# it asks apt only for what is missing, and runs apt-get update once per call at most.
set -euo pipefail

packages=(
  # build
  cmake ninja-build ccache pkg-config g++ git
  libssl-dev zlib1g-dev libicu-dev libpugixml-dev uuid-dev libsecret-1-dev libavahi-client-dev
  qt6-base-dev fonts-dejavu-core
  libgtest-dev libgmock-dev
  # the browser extension's native-messaging host reads JSON
  libjsoncpp-dev
  # the format check (scripts/check_format.sh)
  clang-format
  # test servers and tools
  nginx-light tinyproxy openssl python3 curl
  # WebDAV (the remote browser and uploads): lighttpd with its WebDAV and TLS modules
  lighttpd lighttpd-mod-webdav lighttpd-mod-openssl
  # GNU time: the benchmark scripts' figures (their smoke run is a test)
  time
  # FTP and explicit FTPS (conflicts with pure-ftpd: never install both)
  vsftpd passwd
  # a private Secret Service for the keychain tests (dbus-daemon, gnome-keyring)
  dbus gnome-keyring
  # zeroconf discovery between two network namespaces (avahi-daemon on a private system bus; iproute2 for the veth pair)
  avahi-daemon iproute2
  # a virtual X display, Qt's X11 platform and a screen dump (xwd), for the tests that run the program's window
  # (libxtst6: a test presses the menus' keys as a user would; xclip: a test puts text on the clipboard)
  xvfb x11-utils x11-apps qt6-qpa-plugins libxtst6 xclip
  # a window manager and a tray on that display, for where the window opens and the tray icon
  openbox trayer
  # a real browser for the hand-off test (headless Chromium loads the extension itself)
  chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "setup: installing ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
