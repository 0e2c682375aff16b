#!/usr/bin/env bash
# The desktop program's load at normal speed: the share of one core the process uses
# while it runs a snapshot in the 2x window with sound, under a virtual X server with a
# window manager, and the same for Fuse (fuse-emulator-sdl) on the same snapshot.
#
#   bench/desktop_cpu.sh [VANTREL] [SNAPSHOT] [SECONDS]
#
# Defaults: build/vantrel, the busy 48K snapshot of ../shared/bench, 30 s. Needs Xvfb and
# openbox; Fuse is measured when fuse-sdl and its ROM are installed. Sound goes through
# SDL's file driver into /dev/null, which still calls the program back in real time.
# Per thread it prints the CPU time and the voluntary context switches per second.
#
# AWAKE=1 keeps every CPU busy meanwhile with a loop of the idle scheduling class, which
# runs only when nothing else wants the CPU. On a virtual machine an idle virtual CPU
# halts, and each wake-up of a thread on it is then charged the hypervisor's wake-up
# latency: a program whose threads wake each other pays that many times a frame, one that
# runs in a single thread hardly at all.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
vantrel=$(realpath "${1:-$here/build/vantrel}")
snapshot=$(realpath "${2:-$here/../shared/bench/fuse/scen/busy48.sna}")
seconds=${3:-30}
roms=${VANTREL_TESTDATA:-$here/../shared/testdata}/roms
fuse_rom=/usr/share/spectrum-roms/opense.rom

work=$(mktemp -d /tmp/vantrel-desktop-cpu.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
display=:$((150 + RANDOM % 50))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
sleep 1
mkdir -p "$work/config/Tarvex" "$work/runtime" "$work/home" && chmod 700 "$work/runtime"
export DISPLAY=$display XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null
openbox >/dev/null 2>&1 &
sleep 1
printf '[Environment]\nScreenPanel\\Double%%20Size=1\n[StartUp]\nMode=1\nReset=0\n' \
  >"$work/config/Tarvex/Vantrel.ini"

if [[ ${AWAKE:-0} == 1 ]]; then
  for _ in $(seq "$(nproc)"); do chrt --idle 0 bash -c 'while :; do :; done' & done
fi

ticks() { awk '{print $14 + $15}' "$1"; }
switches() { awk '/^voluntary_ctxt/{print $2}' "$1"; }

# measure NAME PID: after 5 s of settling, the process's share of one core over $seconds.
measure() {
  local name=$1 pid=$2
  sleep 5
  declare -A cpu0 ctx0
  for t in /proc/"$pid"/task/*; do cpu0[$t]=$(ticks "$t/stat"); ctx0[$t]=$(switches "$t/status"); done
  local total0 wall0
  total0=$(ticks /proc/"$pid"/stat) wall0=$(date +%s.%N)
  sleep "$seconds"
  local total1 wall1
  total1=$(ticks /proc/"$pid"/stat) wall1=$(date +%s.%N)
  for t in /proc/"$pid"/task/*; do
    [[ -n ${cpu0[$t]:-} ]] || continue
    printf '  %-16s %5.1f ms/s  %4d wake-ups/s\n' "$(cat "$t/comm")" \
      "$(echo "($(ticks "$t/stat") - ${cpu0[$t]}) * 10 / $seconds" | bc -l)" \
      $((($(switches "$t/status") - ${ctx0[$t]}) / seconds))
  done
  printf '%s: %.2f %% of one core\n' "$name" \
    "$(echo "($total1 - $total0) / ($wall1 - $wall0)" | bc -l)"
  kill "$pid"
  wait "$pid" 2>/dev/null
}

(cd "$roms" && exec "$vantrel" "$snapshot") >"$work/vantrel.log" 2>&1 &
measure vantrel $!
if command -v fuse-sdl >/dev/null && [[ -f $fuse_rom ]]; then
  HOME=$work/home fuse-sdl --machine 48 --graphics-filter 2x --sound --no-confirm-actions \
    --no-autosave-settings --rom-48 "$fuse_rom" --snapshot "$snapshot" >/dev/null 2>&1 &
  measure fuse $!
fi
