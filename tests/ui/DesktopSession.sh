#!/usr/bin/env bash
# The desktop program as a Linux session treats it, under a virtual X server with a real
# window manager (openbox): Exit from the menu ends the process and writes the window
# positions; the next start puts the windows back where they were; Alt+Enter and then
# Escape leave full screen for the window's own size and place; a second copy started
# with a snapshot hands it to the first and exits; SIGTERM ends a running machine with
# the settings written.
#
#   DesktopSession.sh VANTREL VANTREL_RUN XTEST_TYPE PAPER_CHECK TESTDATA_DIR WORK_DIR
#
# Exit status 77 (skipped) without Xvfb, openbox, xdotool or test data.
set -uo pipefail
vantrel=$1 runner=$2 type_keys=$3 paper_check=$4 testdata=${VANTREL_TESTDATA:-$5} work=$6

for tool in Xvfb openbox xdotool xwininfo; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
[[ -f $testdata/roms/Pentagon.Rom && -f $testdata/snapshots/p48k.sna ]] ||
  { echo "SKIPPED: test data not found ($testdata)"; exit 77; }

source "$(dirname "$0")/XServer.sh" 121 160
# Single size with the whole border, so the paper starts 1 + 64, 1 + 48 inside the window.
cat > "$ini" <<'INI'
[Environment]
ScreenPanel\BorderSize\Preset=0
ScreenPanel\Double%20Size=0
INI

# Exit must end the process within 2 s; a sanitizer build also scans for leaks at exit.
exit_seconds=2
ldd "$vantrel" 2>/dev/null | grep -q libasan && exit_seconds=10

wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; }
window_of() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
# "X Y W H" of a window's paint area on the screen.
geometry_of() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}'
}
# Ended: no process, or one that only waits to be reaped.
gone() { ! kill -0 "$1" 2>/dev/null || [[ $(ps -o stat= -p "$1") == Z* ]]; }
near() { local d=$(($1 - $2)); ((d >= -1 && d <= 1)); }
ini_value() { sed -n "s/^$1=//p" "$ini"; }

openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
until_true 20 wm_ready || fail "openbox did not start"

shown() {
  gone "$app" && fail "the program ended early"
  [[ -n $(window_of "$1") ]]
}
start_vantrel() {  # log name, then arguments
  local log=$work/vantrel-$1.log
  shift
  (cd "$testdata/roms" && exec "$vantrel" "$@") >"$log" 2>&1 &
  app=$!
  pids+=("$app")
  until_true 60 shown '^Vantrel v0.30b$' || fail "the main window never appeared"
  until_true 30 shown '^Screen ' || fail "the screen window never appeared"
  main=$(window_of '^Vantrel v0.30b$')
  screen=$(window_of '^Screen ')
}
running() { [[ $(xdotool getwindowname "$screen") =~ FPS\ [1-9] ]]; }
run_machine() {
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  ASAN_OPTIONS=$tool_asan "$type_keys" F9 || fail "typing F9"
  until_true 30 running || fail "F9 did not run the machine"
}

# 1. Start, run, Exit from the File menu.
start_vantrel first
run_machine
read -r mx my _ _ <<<"$(geometry_of "$main")"
read -r sx sy sw sh <<<"$(geometry_of "$screen")"
xdotool windowactivate --sync "$main" >/dev/null 2>&1
# The File menu is the menu bar's first item; x is the mnemonic of its E&xit.
menu_open() { [[ -n $(xdotool search --onlyvisible --class vantrel 2>/dev/null | grep -v -x -e "$main" -e "$screen") ]]; }
open_file_menu() {
  xdotool mousemove $((mx + 20)) $((my + 10)) click 1
  until_true 3 menu_open
}
until_true 20 open_file_menu || fail "the File menu did not open"
sleep 0.5  # mapped is not yet holding the keyboard on a slow machine
ASAN_OPTIONS=$tool_asan "$type_keys" x || fail "typing into the File menu"
until_true $exit_seconds gone "$app" || fail "Exit left the process running"
[[ $(ini_value 'MainForm\\X%20Position') == "$mx" && $(ini_value 'MainForm\\Y%20Position') == "$my" ]] ||
  fail "main window position $mx,$my not stored: $(grep Position "$ini")"
[[ $(ini_value 'ScreenPanel\\X%20Position') == "$sx" && $(ini_value 'ScreenPanel\\Y%20Position') == "$sy" ]] ||
  fail "screen window position $sx,$sy not stored: $(grep Position "$ini")"
echo "exit: ended, positions stored"

# 2. Start again: the windows are where they were.
start_vantrel second
read -r mx2 my2 _ _ <<<"$(geometry_of "$main")"
read -r sx2 sy2 _ _ <<<"$(geometry_of "$screen")"
near "$mx2" "$mx" && near "$my2" "$my" || fail "main window at $mx2,$my2, was $mx,$my"
near "$sx2" "$sx" && near "$sy2" "$sy" || fail "screen window at $sx2,$sy2, was $sx,$sy"
echo "restart: windows in place"

# 3. Full screen and back with a plain Escape tap.
run_machine
ASAN_OPTIONS=$tool_asan "$type_keys" Alt_L+Return || fail "typing Alt+Enter"
full() { [[ $(geometry_of "$screen") == "0 0 1024 768" ]]; }
until_true 20 full || fail "Alt+Enter did not go full screen: $(geometry_of "$screen")"
ASAN_OPTIONS=$tool_asan "$type_keys" Escape || fail "typing Escape"
windowed() {
  local x y w h
  read -r x y w h <<<"$(geometry_of "$screen")"
  near "$x" "$sx" && near "$y" "$sy" && [[ $w == "$sw" && $h == "$sh" ]]
}
until_true 20 windowed || fail "Escape left the screen at $(geometry_of "$screen"), not $sx $sy $sw $sh"
echo "full screen: left with Escape"

# 4. A second copy with a snapshot: the first one shows it, the second one exits.
golden=$work/p48k.png
(cd "$testdata/roms" && ASAN_OPTIONS=$tool_asan "$runner" --frames 100 --screenshot "$golden" \
  "$testdata/snapshots/p48k.sna") >"$work/runner.log" 2>&1 || fail "vantrel-run: $(cat "$work/runner.log")"
(cd "$work" && exec "$vantrel" "$testdata/snapshots/p48k.sna") >"$work/vantrel-copy.log" 2>&1 &
copy=$!
pids+=("$copy")
until_true 20 gone "$copy" || fail "the second copy did not exit"
paper() {
  ASAN_OPTIONS=$tool_asan "$paper_check" "$work/screen.png" "$golden" $((sx + 65)) $((sy + 49)) \
    2>"$work/check.log"
}
until_true 30 paper || fail "the first copy does not show the snapshot: $(cat "$work/check.log")"
echo "second copy: snapshot handed over"

# 5. SIGTERM to the running machine: the process ends and the settings are written.
until_true 20 running || fail "the snapshot does not run"
touch -d '2001-01-01' "$ini"
kill -TERM "$app"
until_true 10 gone "$app" || fail "SIGTERM left the process running"
[[ $(stat -c %Y "$ini") -gt $(date -d '2001-01-02' +%s) ]] || fail "SIGTERM did not write the settings"
echo "SIGTERM: ended, settings written"
