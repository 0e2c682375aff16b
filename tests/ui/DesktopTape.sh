#!/usr/bin/env bash
# A tape as a user loads it: the desktop program is started under a virtual X server with
# a tape named on the command line (48k mode, "On Start run": Emulator), LOAD "" and ENTER
# are typed through real X key events, the machine is switched to full speed, and the
# program's multicolour picture must replace the two-colour paper of the ROM loader.
#
#   DesktopTape.sh VANTREL XTEST_TYPE PAPER_CHECK BOOT48.png TESTDATA_DIR WORK_DIR
#
# Exit status 77 (skipped) without Xvfb, ImageMagick or test data.
set -uo pipefail
vantrel=$1 type_keys=$2 paper_check=$3 boot=$4 testdata=${VANTREL_TESTDATA:-$5} work=$6
tape=$testdata/software/nirvana.tap

for tool in Xvfb import convert; do
  command -v $tool >/dev/null || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
[[ -f $testdata/roms/Pentagon.Rom && -f $tape ]] ||
  { echo "SKIPPED: test data not found ($testdata)"; exit 77; }

source "$(dirname "$0")/XServer.sh" 161 200
# Single size, whole border, the screen window at (20, 20): the paper starts at 85, 69.
cat > "$ini" <<'INI'
[Environment]
ScreenPanel\BorderSize\Preset=0
ScreenPanel\Double%20Size=0
ScreenPanel\X%20Position=20
ScreenPanel\Y%20Position=20

[StartUp]
Mode=1
Reset=0
INI

(cd "$testdata/roms" && exec "$vantrel" "$tape") >"$work/vantrel.log" 2>&1 &
app=$!
pids+=("$app")

boot_screen() {
  kill -0 "$app" 2>/dev/null || fail "the program ended early"
  ASAN_OPTIONS=$tool_asan "$paper_check" "$work/screen.png" "$boot" 85 69 2>"$work/check.log"
}
until_true 60 boot_screen || fail "the 48K boot screen never appeared: see $work/screen.png"
# 48K BASIC: J is LOAD, Symbol Shift (right Shift) + P a quote. Each key is held long
# enough for a frame's keyboard scan on a loaded machine, and is up for more than the
# five frames the ROM waits before it takes the same key again.
ASAN_OPTIONS=$tool_asan "$type_keys" --hold-ms 300 --delay-ms 500 j Shift_R+p Shift_R+p Return F8 ||
  fail "typing"

# The loader's paper holds two colours (its title in ink on paper); the demo's many more.
colours() {
  import -display "$DISPLAY" -window root -crop 256x192+85+69 +repage "$work/paper.png" 2>/dev/null &&
    convert "$work/paper.png" -format %k info:
}
loaded() {
  kill -0 "$app" 2>/dev/null || fail "the program ended while loading"
  local n
  n=$(colours) && ((n > 4))
}
until_true 45 loaded || fail "no picture after loading ($(colours) colours): see $work/paper.png"
echo "tape loaded: $(colours) colours on the paper"
