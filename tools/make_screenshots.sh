#!/usr/bin/env bash
# Makes the README's screenshots, docs/browser.png and docs/show.png, from the sample pictures
# of a built tree: the browser with the viewer showing Sunset.JPG, then a show in name order.
#
#   tools/make_screenshots.sh [BUILD_FOLDER]     # default: build/ beside this folder
#
# Without DISPLAY it runs on its own virtual screen (Xvfb :93, 1024 x 768) with a small window
# manager, which the show needs to go full screen. With DISPLAY set it uses that screen, and
# the shots are of the whole screen as it is: unset DISPLAY for the usual, clean ones.
# The program runs with a throwaway settings folder, so the user's settings are left alone, on
# copies of the samples in /home/user/Pictures, so the shots show no path of this machine.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$here/build}
if [[ ! -d "$build" ]]; then
  echo "make_screenshots: no build folder $build (build first: make build)" >&2
  exit 2
fi
build=$(cd "$build" && pwd)
program=$build/quorvel
samples=$build/samples
docs=$here/docs
if [[ ! -x "$program" || ! -f "$samples/Sunset.JPG" ]]; then
  echo "make_screenshots: $build holds no built program and samples (build first: make build)" >&2
  exit 2
fi

display_number=93
own_display=0
[[ -z "${DISPLAY:-}" ]] && own_display=1

# The tools, by the Debian package that has them.
declare -A needed=([xdotool]=xdotool [import]=imagemagick [convert]=imagemagick)
if [[ $own_display == 1 ]]; then
  needed[Xvfb]=xvfb
  needed[openbox]=openbox
fi
missing=()
for tool in "${!needed[@]}"; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("${needed[$tool]}")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  if [[ $(id -u) -eq 0 ]]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
  else
    echo "make_screenshots: please install these packages first: ${missing[*]}" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-shots.XXXXXX")
xvfb_pid='' wm_pid='' program_pid=''
cleanup() {
  # Only what this script started.
  local pid
  for pid in $program_pid $wm_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in $program_pid $wm_pid $xvfb_pid; do
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: runs COMMAND every tenth of a second until it succeeds.
wait_for() {
  local tries=$(($1 * 10))
  shift
  while ((tries-- > 0)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

if [[ $own_display == 1 ]]; then
  if [[ -e /tmp/.X$display_number-lock ]]; then
    echo "make_screenshots: display :$display_number is taken (/tmp/.X$display_number-lock)" >&2
    exit 1
  fi
  Xvfb ":$display_number" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display_number"
  if ! wait_for 10 xdotool getdisplaygeometry; then
    echo "make_screenshots: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
  fi
  mkdir -p "$work/wm-config"
  XDG_CONFIG_HOME=$work/wm-config openbox >"$work/wm.log" 2>&1 &
  wm_pid=$!
  wait_for 10 xdotool search --name '^Openbox$' || true
fi

export XDG_CONFIG_HOME=$work/config
if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
  mkdir -m 700 "$work/runtime"
  export XDG_RUNTIME_DIR=$work/runtime
fi

# The viewer's title and the folder list show the pictures' full path, so the shots are made
# from a neutral one: /home/user/Pictures, on a /home of the program's own in a private mount
# namespace (the real /home is neither changed nor seen). The program and the samples are
# reached from the build folder as the working folder, which stays open when /home is covered.
shots_home=/home/user
if [[ -n "${XAUTHORITY:-}" || -f "$HOME/.Xauthority" ]]; then
  # The X cookie may be in the covered /home.
  cp "${XAUTHORITY:-$HOME/.Xauthority}" "$work/Xauthority" 2>/dev/null && export XAUTHORITY=$work/Xauthority
fi
if unshare --user --map-root-user --mount true 2>/dev/null; then
  (cd "$build" && exec unshare --user --map-root-user --mount sh -c '
    mount -t tmpfs -o mode=755 home /home && mkdir -p "$1/Pictures" && cp -R samples/. "$1/Pictures/" &&
      HOME=$1 exec ./quorvel "$1/Pictures"' sh "$shots_home") >"$work/quorvel.log" 2>&1 &
else
  shots_home=$work/home/user
  echo "make_screenshots: no private mount namespace here (unshare); the shots show $shots_home" >&2
  mkdir -p "$shots_home/Pictures"
  cp -R "$samples/." "$shots_home/Pictures/"
  HOME=$shots_home "$program" "$shots_home/Pictures" >"$work/quorvel.log" 2>&1 &
fi
program_pid=$!

browser_window() {
  xdotool search --all --onlyvisible --pid "$program_pid" --name '^Quorvel$' 2>/dev/null | head -n 1
}
browser_shown() {
  [[ -n "$(browser_window)" ]]
}
activate_browser() {
  local window
  window=$(browser_window)
  [[ -n "$window" ]] || return 1
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
}
shoot() {
  import -window root "$work/$1.png"
  # 256 colours and 800 pixels across keep each file small enough for a README.
  convert "$work/$1.png" -resize 800x -strip -colors 256 "PNG8:$docs/$1.png"
  echo "Wrote $docs/$1.png ($(($(stat -c %s "$docs/$1.png") / 1024)) KB)"
}

if ! wait_for 20 browser_shown; then
  echo "make_screenshots: the browser did not appear:" >&2
  cat "$work/quorvel.log" >&2
  exit 1
fi
sleep 1
mkdir -p "$docs"

# The file list has the focus at start: choose the first file, then type to reach the sunset.
activate_browser
xdotool key Home
sleep 0.5
xdotool type --delay 100 Sunset
if ! wait_for 10 xdotool search --all --onlyvisible --pid "$program_pid" --name 'Sunset\.JPG$'; then
  echo "make_screenshots: the viewer did not show Sunset.JPG" >&2
  exit 1
fi
sleep 1.5
shoot browser

# A show in name order; the picture needs a moment to be read and fitted, more on a busy machine.
screen_lit() {
  import -window root "$work/probe.png" &&
    [[ $(convert "$work/probe.png" -format '%[fx:mean > 0.02]' info:) == 1 ]]
}
activate_browser
xdotool key ctrl+n
sleep 1
if ! wait_for 10 screen_lit; then
  echo "make_screenshots: the show stayed black" >&2
  exit 1
fi
sleep 1
shoot show

xdotool key Escape
sleep 1
# File > Exit, so the program ends as a user would end it; killed if it does not.
if activate_browser; then
  xdotool key alt+f
  sleep 0.5
  xdotool key x
fi
if wait_for 10 bash -c "! kill -0 $program_pid"; then
  wait "$program_pid" 2>/dev/null || true
  program_pid=''
else
  echo "make_screenshots: the program did not exit; stopping it" >&2
fi
