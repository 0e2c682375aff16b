#!/usr/bin/env bash
# The desktop program as a user meets it: started under a virtual X server with the test
# ROMs, it runs at once ("On Start run": Emulator, 48k mode), PRINT 2+2 and ENTER are
# typed through real X key events, and the screen window's paper must match the headless
# runner's golden picture pixel for pixel.
#
#   DesktopEndToEnd.sh VANTREL XTEST_TYPE PAPER_CHECK GOLDEN.png TESTDATA_DIR WORK_DIR
#
# Exit status 77 (skipped) without Xvfb or test data.
set -uo pipefail
vantrel=$1 type_keys=$2 paper_check=$3 golden=$4 testdata=${VANTREL_TESTDATA:-$5} work=$6

command -v Xvfb >/dev/null || { echo "SKIPPED: Xvfb is not installed"; exit 77; }
[[ -f $testdata/roms/Pentagon.Rom ]] || { echo "SKIPPED: test data not found ($testdata/roms)"; exit 77; }

source "$(dirname "$0")/XServer.sh" 90 120
# Single size, the whole border visible, the window at (20, 20): the paper's top-left
# pixel is then at 20 + 1 (bevel) + 64, 20 + 1 + 48.
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

(cd "$testdata/roms" && exec "$vantrel") >"$work/vantrel.log" 2>&1 &
app=$!
pids+=("$app")

# Waits (up to $2 seconds) until the screen window's paper equals golden picture $1.
wait_for_paper() {
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    ASAN_OPTIONS=$tool_asan "$paper_check" "$work/screen.png" "$1" 85 69 2>"$work/check.log" &&
      return 0
    kill -0 "$app" 2>/dev/null || break
    sleep 0.5
  done
  return 1
}

wait_for_paper "$(dirname "$golden")/boot48.png" 60 ||
  fail "the 48K boot screen never appeared: see $work/screen.png"
# Each key is held for ten frames and up for fifteen, so that a machine slowed down by a
# loaded host still scans it once, and takes the second 2 as a new key.
ASAN_OPTIONS=$tool_asan "$type_keys" --hold-ms 200 --delay-ms 300 p 2 Shift_R+k 2 Return ||
  fail "typing"
wait_for_paper "$golden" 30 || fail "the paper differs from $golden: see $work/screen.png"
echo "paper matches $golden"
