#!/usr/bin/env bash
# Installs the Debian packages that Quorvel needs to build, test and run, and only the ones
# that are missing, so a second run costs nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-wayland libgl-dev
  libwmf-dev libjpeg62-turbo-dev libturbojpeg0-dev
  libfreetype-dev libpng-dev libexpat1-dev zlib1g-dev libx11-dev libxcb1-dev libxcb-randr0-dev
  libsm-dev libice-dev
  # Colour management: the engine, and real profiles for the tests.
  liblcms2-dev colord-data
  fonts-urw-base35
  libbenchmark-dev
  # appstreamcli, which checks the metainfo file.
  appstream
  xvfb xauth
  # The end-to-end tests: a window manager, real input, the buses and Debian's Python modules.
  openbox xdotool imagemagick dbus at-spi2-core
  python3 python3-pytest python3-pyatspi python3-xlib
  # ... and a desktop of several monitors: Xorg with a video driver of memory only, split by RandR.
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
)
# The fuzzing and sanitizer builds want clang; only install it when asked.
if [[ "${QUORVEL_WITH_CLANG:-0}" == 1 ]]; then
  packages+=(clang libclang-rt-14-dev)
fi
# `make bench-launch` times the program against a small X viewer on a private X server, with
# the buses a desktop runs.
if [[ "${QUORVEL_BENCH_LAUNCH:-0}" == 1 ]]; then
  packages+=(nsxiv openbox python3-xlib dbus at-spi2-core)
fi
# `make bench-thumbs` times thumbnails against nsxiv's, on a private X server, driving the keys
# through XTEST.
if [[ "${QUORVEL_BENCH_THUMBS:-0}" == 1 ]]; then
  packages+=(nsxiv openbox python3-xlib dbus)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ "$status" == ii* ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
