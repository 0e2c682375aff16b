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

rm -rf "$work" && mkdir -p "$work/config/Tarvex" "$work/runtime" && chmod 700 "$work/runtime"
# Single size, the whole border visible, the window at (20, 20): the paper's top-left
# pixel is then at 20 + 1 (bevel) + 64, 20 + 1 + 48.
cat > "$work/config/Tarvex/Vantrel.ini" <<'INI'
[Environment]
ScreenPanel\BorderSize\Preset=0
ScreenPanel\Direct%20Memory=1
ScreenPanel\Double%20Size=0
ScreenPanel\Flash%20Frequency=10
ScreenPanel\Gray%20Palette=0
ScreenPanel\Interlaced=1
ScreenPanel\Screen%20Page=0
ScreenPanel\Show%20FPS=1
ScreenPanel\Video%20Mode=0
ScreenPanel\X%20Position=20
ScreenPanel\Y%20Position=20

[StartUp]
Mode=1
Reset=0
INI

display=""
for n in $(seq 90 120); do
  if [[ ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n $display ]] || { echo "no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
  [[ -n ${app:-} ]] && kill "$app" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
}
trap cleanup EXIT
export DISPLAY=$display XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
# No sound server here: SDL's file driver plays the sound into nothing at real-time rate.
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
# The helper tools end normally; under AddressSanitizer the X libraries' own leaks at exit
# must not turn their answer into a failure.
tool_asan="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done

(cd "$testdata/roms" && exec "$vantrel") >"$work/vantrel.log" 2>&1 &
app=$!

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

boot=$(dirname "$golden")/boot48.png
if ! wait_for_paper "$boot" 60; then
  echo "the 48K boot screen never appeared: see $work/screen.png"
  cat "$work/check.log" "$work/vantrel.log"
  exit 1
fi
ASAN_OPTIONS=$tool_asan "$type_keys" --delay-ms 150 p 2 Shift_R+k 2 Return || exit 1
if wait_for_paper "$golden" 30; then
  echo "paper matches $golden"
  exit 0
fi
echo "the paper differs from $golden: see $work/screen.png"
cat "$work/check.log" "$work/vantrel.log"
exit 1
