#!/usr/bin/env bash
# End-to-end test of the Windows command line, cardpush-cli.exe, under Wine:
# the card's listing against the controller simulator behind COM1, as a
# script run from a Windows console gets it.
#
#   cli.sh MINGW-BUILD SIMULATOR
#
# MINGW-BUILD is the mingw preset's build folder (cardpush-cli.exe and the
# pseudo-terminal preload library libpty_modem_lines.so that
# scripts/test-windows.sh builds); SIMULATOR the Linux controller simulator,
# cardpush-sim. WINEPREFIX names a Wine prefix to use (made by wineboot);
# without it a fresh one is made in the work folder. WINE names the wine
# loader (default: wine64).
#
# The set-up, private to the run and stopped at its end: the simulator on a
# pseudo-terminal behind COM1, its card folder holding two files; a copy of
# cardpush-cli.exe in a folder of its own, where it keeps its nastr.dat.
# Each run has a console, which Wine makes on a pseudo-terminal of its own
# (script) as the program's standard input, while standard output and
# standard error go to files: redirected streams, in the console's code page
# (866 with the Russian locale), except JSON lines, which are UTF-8.
# The steps:
#   1. cardpush-cli.exe --port COM1 list: exit status 0, the card's files one
#      per line on standard output; the status lines on standard error read
#      as Russian in code page 866.
#   2. cardpush-cli.exe --port COM1 --json list: exit status 0, every line of
#      standard output a JSON object: one card_file for each card file, then
#      exit with status 0.
#
# Exits non-zero, saying why, at the first failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ne 2 ]; then
  echo "usage: $0 MINGW-BUILD SIMULATOR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
simulator=$2
exe=$build/src/app/cardpush-cli.exe
preload=$build/libpty_modem_lines.so
work=$build/cli-test
# A guard against a hang only: a listing takes some 5 s (the tool settles
# 3 s on a port before the handshake).
run_seconds=120

say() { echo "cli: $*"; }

for file in "$exe" "$preload" "$simulator"; do
  if [ ! -e "$file" ]; then
    say "missing $file (build the mingw and release presets first: scripts/test-windows.sh)" >&2
    exit 1
  fi
done
for tool in script iconv python3; do
  if ! command -v "$tool" >/dev/null; then
    say "missing $tool: run scripts/install-deps.sh" >&2
    exit 1
  fi
done

sim_pid=
cleanup() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap cleanup EXIT

# Shows the run's logs, then fails.
fail() {
  say "FAILED: $*" >&2
  local log
  for log in "$work"/*.out "$work"/*.err "$work/sim.log"; do
    if [ -s "$log" ]; then
      say "${log#"$work/"}:" >&2
      tail -n 20 "$log" | sed 's/^/    /' >&2
    fi
  done
  exit 1
}

# Wine with the Russian locale, its prefix and the simulator behind COM1.
source "$here/wine_com1.sh"

# cli NAME ARGUMENT...: cardpush-cli.exe with those arguments, in its folder,
# on a console of its own; standard output to NAME.out and standard error
# to NAME.err in the work folder, what the console shows to NAME.console.
# Its exit status is the program's.
cli() {
  local name=$1
  shift
  local command
  command="cd $(printf %q "$work/app") && exec $(printf '%q ' \
    env LD_PRELOAD="$preload" LC_ALL=ru_RU.UTF-8 "$wine_loader" cardpush-cli.exe "$@")"
  command+=" >$(printf %q "$work/$name.out") 2>$(printf %q "$work/$name.err")"
  SHELL=/bin/bash timeout "$run_seconds" script -q -e -c "$command" /dev/null \
    </dev/null >"$work/$name.console"
}

rm -rf "$work"
mkdir -p "$work/app" "$work/card"
printf 'G1 X10\r\n' >"$work/card/PROG1"
printf '100 A1\r\n' >"$work/card/ZAD_2"
cp "$exe" "$work/app/"

unset DISPLAY WAYLAND_DISPLAY
wine_prefix
# A console program: no display, Wine's null graphics driver.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
simulator_behind_com1 "$work/card"

# 1. The listing, one card file a line.
status=0
cli list --port COM1 list || status=$?
[ "$status" -eq 0 ] || fail "list ended with status $status"
listed=$(tr -d '\r' <"$work/list.out" | sort | paste -sd ' ')
[ "$listed" = "PROG1 ZAD_2" ] || fail "list printed \"$listed\", not the card's PROG1 and ZAD_2"
iconv -f CP866 -t UTF-8 <"$work/list.err" | grep -q 'рольганг' ||
  fail "list's status lines are not Russian in code page 866: $(head -n 1 "$work/list.err")"
say "list: the card's two files, exit status 0"

# 2. The same in JSON lines.
status=0
cli json --port COM1 --json list || status=$?
[ "$status" -eq 0 ] || fail "--json list ended with status $status"
python3 - "$work/json.out" <<'EOF' || fail "--json list did not print the card's files as JSON lines"
import json, sys

with open(sys.argv[1], "rb") as stream:
    records = [json.loads(line.decode("utf-8")) for line in stream]
files = sorted(r["name"] for r in records if r.get("type") == "card_file")
if files != ["PROG1", "ZAD_2"] or records[-1] != {"type": "exit", "status": 0}:
    sys.exit(f"got {records}")
EOF
say "--json list: the card's two files and the exit record as JSON lines, exit status 0"
