#!/usr/bin/env bash
# Black-box test of the Windows executable, cardpush.exe, under Wine: the
# operator's steps through its windows against the controller simulator,
# read and driven from outside by the test client wintest.exe (window
# captions, control IDs, list boxes, message boxes), and the same steps run
# through the Linux build's windows for comparison.
#
#   blackbox.sh MINGW-BUILD SIMULATOR PARITY-TEST
#
# MINGW-BUILD is the mingw preset's build folder (cardpush.exe, wintest.exe,
# the control IDs in src/app/win32/ui_layout_ids.txt and the pseudo-terminal
# preload library libpty_modem_lines.so that scripts/test-windows.sh
# builds); SIMULATOR the Linux controller simulator, cardpush-sim; and
# PARITY-TEST the Linux build's app_face_parity (tests/app/
# face_parity_test.cpp). WINEPREFIX names a Wine prefix to use (made by
# wineboot); without it a fresh one is made in the work folder. WINE names
# the wine loader (default: wine64).
#
# The set-up, all of it private to the run and removed or stopped at its end:
#   - an Xvfb server on a display number of its own (Xvfb picks a free one);
#   - the simulator on a pseudo-terminal, behind COM1 in Wine's port table,
#     its card folder holding one file and its wire log recording every
#     byte it receives;
#   - a folder with a copy of cardpush.exe and a nastr.dat (LF line ends,
#     no comments) that names COM1, a source folder of three job files (one
#     with a lower-case name, whose card name differs: one message box) and
#     both delete options checked.
# The steps, each checked through the windows and on disk:
#   1. The main window, connected: its caption, its client size (727 x 448)
#      and every control's rectangle as the layout gives them, the two
#      lists, the check boxes, the card controls enabled.
#   2. Upload all ("загрузить все файлы"): the name-change message box is
#      answered; the card is emptied first and gets the three files, the
#      source folder ends empty, both lists show it.
#   3. The second card file selected in the card list and deleted with the
#      list's "Удалить": gone from the list and from the card folder.
#   4. The information window (its serial number, firmware and port), the
#      About box and the journal window shown and closed.
#   5. The main window closed (WM_CLOSE): the process ends within 20 s and
#      nastr.dat is the tool's eight lines and the controller's serial
#      number, byte for byte.
# Screenshots of the main window, the message box, the information window,
# the About box and the journal window go to MINGW-BUILD/screenshots/.
#
# Same bytes as the Linux build: PARITY-TEST runs the same steps through the
# Qt windows (offscreen) against a simulator of its own, in parallel with the
# Windows run, and leaves its wire log, card folder and message texts beside
# the Windows run's. The two wire logs must be the same bytes (the job files
# may go in another order: compare_wire.py), the card folders the same files
# and the message boxes the same texts.
#
# Exits non-zero, saying why, at the first failure.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
if [ $# -ne 3 ]; then
  echo "usage: $0 MINGW-BUILD SIMULATOR PARITY-TEST" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
simulator=$2
parity_test=$3
exe=$build/src/app/cardpush.exe
wintest=$build/tests/win32/client/wintest.exe
ids=$build/src/app/win32/ui_layout_ids.txt
preload=$build/libpty_modem_lines.so
work=$build/face-test
shots=$build/screenshots

main_caption="Загрузка на карту  памяти рольганга"
info_caption="Информация о подключении"
about_caption="О программе"
journal_caption="Журнал"
# Waits: the tool settles 3 s on a port before the handshake; Wine starts
# slowly the first time. The guards only catch hangs.
connect_ms=90000
step_ms=30000
exit_seconds=20

say() { echo "blackbox: $*"; }

for file in "$exe" "$wintest" "$ids" "$preload" "$simulator" "$parity_test"; do
  if [ ! -e "$file" ]; then
    say "missing $file (build the mingw and release presets first: scripts/test-windows.sh)" >&2
    exit 1
  fi
done
for tool in Xvfb import python3 iconv; do
  if ! command -v "$tool" >/dev/null; then
    say "missing $tool: run scripts/install-deps.sh" >&2
    exit 1
  fi
done

xvfb_pid= sim_pid= exe_pid= parity_pid=
cleanup() {
  local pid
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
  for pid in $exe_pid $parity_pid $sim_pid $xvfb_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# Wine with the Russian locale (wine), its prefix (wine_prefix) and the
# simulator behind COM1 (simulator_behind_com1).
source "$here/wine_com1.sh"
# The client's commands; its output without carriage returns.
wt() { wine "$wintest" "$@" 2>>"$work/wintest.log" | tr -d '\r'; }

# Shows what is on the screen and in the logs, then fails.
fail() {
  say "FAILED: $*" >&2
  if [ -n "$exe_pid" ] && kill -0 "$exe_pid" 2>/dev/null; then
    say "the windows shown:" >&2
    wt windows | sed 's/^/    /' >&2 || true
    local box
    box=$(wt wait-message "" 0 || true)
    [ -z "$box" ] || say "an open message box: $(tail -n +2 <<<"$box")" >&2
    import -silent -display "$DISPLAY" -window root "$shots/failure.png" 2>/dev/null &&
      say "the screen: $shots/failure.png" >&2
  fi
  local log
  for log in wintest.log exe.log sim.log; do
    if [ -s "$work/$log" ]; then
      say "$log:" >&2
      tail -n 20 "$work/$log" | sed 's/^/    /' >&2
    fi
  done
  exit 1
}

expect() {  # expect WHAT WANTED GOT
  [ "$2" = "$3" ] || fail "$1: wanted \"$2\", got \"$3\""
}

# A screenshot of one window (caption or @handle), cut from the screen.
shot() {
  local name=$1 window=$2 x y w h
  read -r x y w h < <(wt window-rect "$window") || fail "no window $window to photograph"
  import -silent -display "$DISPLAY" -window root -crop "${w}x${h}+${x}+${y}" +repage \
    "$shots/$name.png" || fail "no screenshot $name"
}

# The input: three job files (valid lines, CR LF), one card file, the card
# name to delete; the same for both runs.
rm -rf "$work" "$shots"
mkdir -p "$work/app" "$work/jobs" "$work/card" "$work/parity/jobs" "$work/parity/card" "$shots"
printf '100 A1\r\n250 B2\r\n' >"$work/parity/jobs/JOB1.txt"
printf -- '-12.5 X\r\n0,25 Y\r\n7 Z\r\n' >"$work/parity/jobs/JOB2.txt"
printf '42 Q\r\n' >"$work/parity/jobs/job3.txt"
printf '1 x\r\n' >"$work/parity/card/OLD1"
echo JOB2 >"$work/parity/delete-card"
cp "$work/parity/jobs/"* "$work/jobs/"
cp "$work/parity/card/"* "$work/card/"

# The Linux half, beside the Windows run. Its sanitizer options are those
# of the project's tests, for a sanitizer build; a report file asked for the
# Windows suites (a Windows path) is not its.
env -u GTEST_OUTPUT CARDPUSH_PARITY_DIR=$work/parity QT_QPA_PLATFORM=offscreen \
  ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
  LSAN_OPTIONS=suppressions=$root/scripts/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$parity_test" >"$work/parity.log" 2>&1 &
parity_pid=$!

# The display.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 20 -u "$display_fd" display_number || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
exec {display_fd}<&-
export DISPLAY=:$display_number
say "Xvfb on $DISPLAY"

wine_prefix
# Wine's own fonts (Tahoma, which stands for "MS Shell Dlg 2", and Marlett,
# which draws the caption buttons), as Windows has them: Debian's Wine does
# not find them where the fonts-wine package puts them.
if [ -d /usr/share/wine/fonts ]; then
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
fi
# The X11 graphics driver (a prefix of the suites may have the null one), and
# the windows in a Wine desktop as large as the screen, where Wine draws
# their frames and captions and handles showing, hiding and activating them
# as Windows does. Without a window manager, Wine's own top-level windows
# wait in vain for one to confirm that a window was hidden, and a window
# shown again right after may stay hidden.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1

simulator_behind_com1 "$work/card" --wire-log "$work/wire.log"

# The tool's folder. Its settings name the source folder as Windows sees it.
cp "$exe" "$work/app/"
source_folder="Z:${work//\//\\}\\jobs"
printf 'a=%s\nc=COM1\np=-1\nd=-1\n' "$source_folder" >"$work/app/nastr.dat"
# What the tool writes back when it closes: its eight lines, CR LF, and the
# serial number of the controller it worked with.
printf ' каталог входных файлов\r\na=%s\r\n COM порт\r\nc=COM1\r\n удалять или нет исходные файлы после конвертации\r\np=-1\r\n удалять или нет файлы до конвертации\r\nd=-1\r\nn=12345\r\n' \
  "$source_folder" | iconv -f UTF-8 -t CP1251 >"$work/nastr.expected"

say "starting cardpush.exe"
LD_PRELOAD=$preload wine "$work/app/cardpush.exe" >"$work/exe.log" 2>&1 &
exe_pid=$!

# 1. Connected: the first listing shows the card's file and the card
# controls are open.
# The window by its class: its caption says how the search goes.
main=$(wt wait-window "#TForm1" "$connect_ms") || fail "no main window"
wt wait-list "$main" 109 "$connect_ms" "OLD1    " >/dev/null ||
  fail "the card list did not show the card's file"
expect "the window with the caption \"$main_caption\"" "$main" \
  "$(wt wait-window "$main_caption" 0)"
expect "ListBox2 enabled" 1 "$(wt enabled "$main" 109)"
expect "Button1 enabled" 1 "$(wt enabled "$main" 105)"
expect "the client size" "727 448" "$(wt client-size "$main")"
checked=0
while IFS='= ' read -r name id x y w h; do
  case $name in TForm1.*) ;; *) continue ;; esac
  [ -n "${h:-}" ] || continue  # a menu item
  expect "$name's rectangle" "$x $y $w $h" "$(wt rect "$main" "$id")"
  checked=$((checked + 1))
done <"$ids"
[ "$checked" -ge 10 ] || fail "only $checked controls of the main window in $ids"
expect "the local list" "JOB1.txt JOB2.txt job3.txt" \
  "$(wt list "$main" 104 | sort | paste -sd ' ')"
expect "CheckBox1" 1 "$(wt checked "$main" 103)"
expect "CheckBox2" 1 "$(wt checked "$main" 108)"
shot main "$main"
say "connected; the layout's $checked controls in place"

# 2. Upload all.
wt click "$main" 105 || fail "upload all refused"
box=$(wt wait-message "Имя файла" "$step_ms") || fail "no name-change message"
box=$(head -n 1 <<<"$box")
shot message "$box"
import -silent -display "$DISPLAY" -window root "$shots/upload.png"
message=$(wt answer-message "Имя файла" "$step_ms") || fail "the message box could not be answered"
say "message box: $message"
echo "$message" >"$work/messages.txt"
wt wait-list "$main" 104 "$step_ms" >/dev/null || fail "the local list did not empty"
wt wait-list "$main" 109 "$step_ms" "JOB1    " "JOB2    " "JOB3    " >/dev/null ||
  fail "the card list did not show the uploaded files"
expect "the card folder" "JOB1 JOB2 JOB3" "$(ls "$work/card" | paste -sd ' ')"
expect "the source folder" "" "$(ls "$work/jobs")"
for pair in JOB1:JOB1.txt JOB2:JOB2.txt JOB3:job3.txt; do
  cmp -s "$work/card/${pair%%:*}" "$work/parity/jobs/${pair#*:}" ||
    fail "card file ${pair%%:*} is not ${pair#*:}"
done
say "uploaded"

# 3. Delete the card file JOB2, selected in the card list.
index=$(wt list "$main" 109 | grep -nx 'JOB2    ' | cut -d: -f1)
[ -n "$index" ] || fail "JOB2 is not in the card list"
wt select "$main" 109 $((index - 1)) || fail "JOB2 could not be selected"
wt menu "$main" 203 || fail "the card list's delete refused"
wt wait-list "$main" 109 "$step_ms" "JOB1    " "JOB3    " >/dev/null ||
  fail "JOB2 stayed in the card list"
expect "the card folder" "JOB1 JOB3" "$(ls "$work/card" | paste -sd ' ')"
say "deleted JOB2"

# 4. The other windows.
wt menu "$main" 201 || fail "no information window"
wt wait-window "$info_caption" "$step_ms" >/dev/null || fail "no information window"
expect "the serial number" 12345 "$(wt text "$info_caption" 102)"
expect "the firmware" 72 "$(wt text "$info_caption" 114)"
expect "the port" COM1 "$(wt text "$info_caption" 116)"
shot information "$info_caption"
wt close "$info_caption"
wt wait-gone "$info_caption" "$step_ms" || fail "the information window stayed"

wt menu "$main" 207 || true  # modal: it answers when closed
wt wait-window "$about_caption" "$step_ms" >/dev/null || fail "no About box"
shot about "$about_caption"
wt click "$about_caption" 106 || fail "the About box's OK refused"
wt wait-gone "$about_caption" "$step_ms" || fail "the About box stayed"

wt menu "$main" 202 || fail "no journal window"
wt wait-window "$journal_caption" "$step_ms" >/dev/null || fail "no journal window"
shot journal "$journal_caption"
wt close "$journal_caption"
wt wait-gone "$journal_caption" "$step_ms" || fail "the journal window stayed"
say "information window, About box and journal window shown"

# 5. Close.
wt close "$main"
for ((i = 0; i < exit_seconds * 10; i++)); do
  kill -0 "$exe_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$exe_pid" 2>/dev/null && fail "cardpush.exe still runs $exit_seconds s after its window closed"
wait "$exe_pid" || fail "cardpush.exe ended with status $?"
exe_pid=
cmp "$work/nastr.expected" "$work/app/nastr.dat" ||
  fail "nastr.dat is not what was expected ($work/nastr.expected)"
say "closed; nastr.dat as expected"

# The same bytes as the Linux build.
status=0
wait "$parity_pid" || status=$?
parity_pid=
if [ "$status" -ne 0 ]; then
  cat "$work/parity.log" >&2
  fail "the Linux run of the same steps failed"
fi
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=
linux=$work/parity/linux
python3 "$here/compare_wire.py" "$work/wire.log" "$linux/wire.log" ||
  fail "the wire bytes differ from the Linux build's"
diff -r "$work/card" "$linux/card" >/dev/null || fail "the card folders differ from the Linux build's"
diff "$work/messages.txt" "$linux/messages.txt" >/dev/null ||
  fail "the message boxes differ from the Linux build's: $(cat "$linux/messages.txt")"
say "the same wire bytes, card files and messages as the Linux build"
say "screenshots in $shots"
