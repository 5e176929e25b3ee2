# Sourced by the tests that run a Windows executable under Wine against the
# controller simulator behind COM1 (blackbox.sh, cli.sh). The caller sets
# work (its work folder, made) and simulator (the Linux cardpush-sim), and
# defines say MESSAGE and fail MESSAGE (which exits). WINE names the wine
# loader (default: wine64).

wine_loader=${WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}

# Wine runs with the Russian locale, so that the ANSI code page is 1251 and
# a console's 866, as on the operator's PC; the script's own tools with a
# neutral one.
export LC_ALL=C.UTF-8
wine() { LC_ALL=ru_RU.UTF-8 "$wine_loader" "$@"; }

# wine_prefix: the prefix WINEPREFIX names, or a fresh one in the work
# folder. No Mono or Gecko installer prompts, no debugging output.
wine_prefix() {
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$work/wineprefix
    say "making a Wine prefix"
    DISPLAY='' wine wineboot -i >/dev/null 2>&1
    wineserver -w
  fi
}

# simulator_behind_com1 CARD-FOLDER [OPTION...]: the simulator on a
# pseudo-terminal, serving that card folder (with the simulator's options
# given), its log in the work folder's sim.log, and its device as COM1 in
# Wine's port table. Sets sim_pid and device; Wine is stopped, so that the
# next program started reads the new table.
simulator_behind_com1() {
  # The simulator's first line of output is its device.
  exec {sim_out}< <(exec "$simulator" --card-dir "$@" --exit-with-parent 2>"$work/sim.log")
  sim_pid=$!
  read -r -t 10 -u "$sim_out" device || fail "the simulator did not start"
  wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$device" /f >/dev/null 2>&1
  # Wine reads its port table when it starts.
  wineserver -k 2>/dev/null || true
  wineserver -w
  say "simulator on $device as COM1"
}
