#!/usr/bin/env bash
# Installs what building, running and testing Verbalon needs on Debian 12, and nothing that is
# already there. Uses sudo when not run as root.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev clang-format clang-tidy
  zlib1g-dev libicu-dev libpcre2-dev qt6-base-dev libx11-dev libhunspell-dev
  # dictionary forms of inflected words (optional at run time)
  hunspell-ru hunspell-en-us
  # tests and benchmarks
  googletest libgtest-dev libbenchmark-dev time
  # real peers for the compound-file tests
  python3 python3-olefile libgsf-bin
  # image formats the article view shows
  qt6-image-formats-plugins
  # end-to-end checks of the program under a virtual X server
  xvfb xauth xdotool imagemagick openbox x11-utils xclip
  # a private session bus for the tests of the desktop portal's hot key (dbus-run-session)
  dbus-bin dbus-daemon dbus-session-bus-common
  # validators of the menu entry and the AppStream description
  desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
