#!/usr/bin/env bash
# Cross-compiles everything that does not need Qt for 64-bit Windows with
# MinGW-w64 and runs its tests under Wine, the system's own device and file
# layers included:
#   - a controller simulator on a pseudo-terminal stands behind COM7, and
#     COM3, COM10 and COM25 are listed beside it in Wine's port table;
#   - a small preload library of the tests lets Wine wait for events on the
#     pseudo-terminal and set its modem lines, which the kernel refuses there;
#   - the Wine prefix is made afresh under the build folder, with no display,
#     and the programs run with a Russian locale, so that the system's ANSI
#     code page is 1251 as on the operator's PC.
# Then the command line, cardpush-cli.exe, listing the card of the simulator
# behind COM1, plain and in JSON lines, as a script run from a Windows
# console gets it (tests/win32/face/cli.sh).
# Then the Windows executable itself, cardpush.exe, black-box under Wine on
# a private Xvfb, against the simulator behind COM1, compared with the same
# steps through the Linux build's windows, with screenshots of its windows
# left in build/mingw/screenshots/ (tests/win32/face/blackbox.sh).
# The cross build is the mingw preset (build/mingw/), the simulator that of
# the release preset (build/release/), the Linux half of the black-box test
# that of the dev preset (build/dev/, which scripts/test.sh has built by
# then). Installs what is missing (as root, or with sudo). Exits non-zero on
# any failure.
#
#   JOBS                parallel jobs (default: the number of cores)
#   CARDPUSH_BUILD_ROOT the folder that holds the presets' build folders
#                       (default: build/), for a run that leaves those alone
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# Each folder by its physical path: generated sources name others relative
# to it, which a path through a symbolic link would get wrong.
physical() { mkdir -p "$1" && (cd -P "$1" && pwd); }
build_root=$(physical "${CARDPUSH_BUILD_ROOT:-$root/build}")
build=$(physical "$build_root/mingw")
native=$(physical "$build_root/release")
dev=$(physical "$build_root/dev")
jobs=${JOBS:-$(nproc)}
sim_port=COM7
listed_ports="COM3 COM7 COM10 COM25"
sim_cards="PROG1 ZAD_2"

say() { echo "test-windows: $*"; }

# configure PRESET FOLDER: configures the preset in that folder; on failure
# shows why.
configure() {
  local log=$build_root/configure-$1.log
  if ! cmake --preset "$1" -B "$2" >"$log" 2>&1; then
    cat "$log" >&2
    say "the $1 preset does not configure in $2"
    exit 1
  fi
}

build_all() {
  # The simulator, the preload library and the Linux half of the black-box
  # test run on this machine.
  configure release "$native"
  cmake --build "$native" --parallel "$jobs" --target cardpush-sim
  configure dev "$dev"
  cmake --build "$dev" --parallel "$jobs" --target app_face_parity
  configure mingw "$build"
  cmake --build "$build" --parallel "$jobs"
  gcc -std=c11 -O2 -Wall -Wextra -Werror -shared -fPIC \
    -o "$build/libpty_modem_lines.so" tests/win32/pty_modem_lines.c -ldl
}

wine_setup() {
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
  export WINEPREFIX=$build/wineprefix
  export WINEDEBUG=-all
  # No Mono or Gecko installer prompts; no window at all.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1
  # Windows without a display: Wine's null graphics driver makes them, with
  # their sizes, texts and messages, and draws nothing.
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
}

sim_pid=
stop_simulator() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
}
trap stop_simulator EXIT

start_simulator() {
  local cards=$build/sim-cards card
  rm -rf "$cards"
  mkdir -p "$cards"
  for card in $sim_cards; do
    printf 'G1 X10\r\n' >"$cards/$card"
  done
  # The simulator's first line of output is its device.
  exec {sim_out}< <(exec "$native/tools/cardpush-sim" --card-dir "$cards" \
    --exit-with-parent 2>"$build/sim.log")
  sim_pid=$!
  local device
  if ! read -r -t 10 -u "$sim_out" device; then
    say "the simulator did not start:"
    cat "$build/sim.log" >&2
    exit 1
  fi
  say "simulator on $device as $sim_port"

  local port
  for port in $listed_ports; do
    local target=/dev/null
    [ "$port" = "$sim_port" ] && target=$device
    "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$target" /f >/dev/null 2>&1
  done
  # Wine reads its port table when it starts: start it afresh.
  wineserver -k 2>/dev/null || true
  wineserver -w
}

# Prints "Suite.Test: reason" for every test skipped in the given
# GoogleTest XML reports.
skipped_tests() {
  awk '
    /result="skipped"/ {
      match($0, /name="[^"]*"/); test = substr($0, RSTART + 6, RLENGTH - 7)
      match($0, /classname="[^"]*"/); suite = substr($0, RSTART + 11, RLENGTH - 12)
    }
    /<skipped message=/ {
      reason = $0; sub(/.*&#x0A;/, "", reason); sub(/".*/, "", reason)
      gsub(/&quot;/, "\"", reason); gsub(/&apos;/, "\047", reason)
      gsub(/&lt;/, "<", reason); gsub(/&gt;/, ">", reason); gsub(/&amp;/, "\\&", reason)
      print suite "." test ": " reason
    }' "$@"
}

run_tests() {
  export CARDPUSH_SIM_PORT=$sim_port
  export CARDPUSH_LISTED_PORTS=$listed_ports
  export CARDPUSH_SIM_CARDS=$sim_cards
  export CARDPUSH_MODEM_LINES=1
  export LC_ALL=ru_RU.UTF-8
  # Each test program writes its report there; the path as Windows sees it.
  local reports=$build/test-reports status=0
  rm -rf "$reports"
  mkdir -p "$reports"
  export GTEST_OUTPUT="xml:Z:${reports//\//\\}\\"
  LD_PRELOAD=$build/libpty_modem_lines.so \
    ctest --test-dir "$build" --output-on-failure --no-tests=error --parallel "$jobs" ||
    status=$?

  local skipped
  skipped=$(skipped_tests "$reports"/*.xml)
  if [ -n "$skipped" ]; then
    say "skipped, each for the reason it gives:"
    sed 's/^/    /' <<<"$skipped"
  fi
  # A test skipped because this script's set-up did not reach it is a failure.
  if grep -q 'scripts/test-windows.sh' <<<"$skipped"; then
    say "the set-up for the device tests did not reach them"
    status=1
  fi
  return "$status"
}

bash scripts/install-deps.sh
say "building in $build"
build_all
say "preparing Wine"
wine_setup
start_simulator
say "running the tests"
run_tests
stop_simulator
say "the command line, cardpush-cli.exe"
WINE=$wine bash tests/win32/face/cli.sh "$build" "$native/tools/cardpush-sim"
say "the black-box test of cardpush.exe"
WINE=$wine bash tests/win32/face/blackbox.sh "$build" "$native/tools/cardpush-sim" \
  "$dev/tests/app/app_face_parity"
say "all tests passed"
