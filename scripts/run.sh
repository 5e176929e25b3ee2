#!/usr/bin/env bash
# Installs what is missing, builds the release preset, and starts the tool,
# by default against the controller simulator
# (build/release/tools/cardpush-sim): the simulator's device is written as
# the saved port of build/release/src/app/nastr.dat, so the tool tries it
# first. Run it as root or as a user who may use sudo; sudo is asked for only
# to install missing packages.
#
# With a display the tool runs until its window is closed. Without one it
# runs under Xvfb: a screenshot is taken a few seconds after start, its path
# printed, and the tool is stopped.
#
#   scripts/run.sh [--no-sim]
#
# SCREENSHOT_DELAY (seconds, default 6) sets when the screenshot is taken.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

use_sim=1
for arg in "$@"; do
  case $arg in
    --no-sim) use_sim=0 ;;
    *) echo "usage: $0 [--no-sim]" >&2; exit 2 ;;
  esac
done

build=$root/build/release
bash scripts/install-deps.sh --run
targets=(cardpush)
if [ "$use_sim" -eq 1 ]; then
  targets+=(cardpush-sim)
fi
bash scripts/build.sh release "${targets[@]}"

app_dir=$build/src/app
tool=$app_dir/cardpush
sim=$build/tools/cardpush-sim
settings=$app_dir/nastr.dat

pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT

# Sets the c= line of nastr.dat to $1, keeping every other line (the file is
# Windows-1251 text with CR LF line ends).
set_saved_port() {
  local port=$1
  if [ -f "$settings" ] && grep -q '^c=' "$settings"; then
    local tmp
    tmp=$(mktemp "$settings.XXXXXX")
    awk -v port="$port" '/^c=/ { printf "c=%s\r\n", port; next } { print }' "$settings" >"$tmp"
    mv "$tmp" "$settings"
  else
    printf 'c=%s\r\n' "$port" >>"$settings"
  fi
}

if [ "$use_sim" -eq 1 ] && [ -x "$sim" ]; then
  link=$build/cardpush-sim.tty
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  # A few card files, so that the card listing shows something at once.
  cards=$build/sim-card
  if [ ! -d "$cards" ]; then
    mkdir -p "$cards"
    printf '10 a\r\n20 b\r\n' >"$cards/JOB1"
    printf '5.5 c\r\n' >"$cards/PLAN2"
  fi
  "$sim" --link "$link" --card-dir "$cards" >"$fifo" &
  pids+=($!)
  # The simulator prints its device on the first line once it is ready.
  exec 3<"$fifo"
  rm -f "$fifo"
  read -r device <&3 || { echo "run: the simulator did not start" >&2; exit 1; }
  # The rest of its output is not needed; keep draining it.
  cat <&3 >/dev/null &
  pids+=($!)
  exec 3<&-
  echo "run: controller simulator on $device (link $link)"
  set_saved_port "$link"
elif [ "$use_sim" -eq 1 ]; then
  echo "run: no simulator built ($sim); starting without it"
fi

if [ -n "${DISPLAY:-}" ]; then
  "$tool"
  exit 0
fi

# No display: a virtual one, on the first free display number.
display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
  [ -e "/tmp/.X11-unix/X$display" ] && break
  sleep 0.1
done
export DISPLAY=":$display"

"$tool" &
tool_pid=$!
pids+=($tool_pid)
sleep "${SCREENSHOT_DELAY:-6}"
mkdir -p "$build/screenshots"
shot=$build/screenshots/cardpush-$(date +%Y%m%d-%H%M%S).png
if ! kill -0 "$tool_pid" 2>/dev/null; then
  echo "run: the tool ended before the screenshot" >&2
  exit 1
fi
import -window root "$shot"
echo "run: screenshot of the running tool: $shot"
