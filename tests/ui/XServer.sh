# Sourced by the desktop tests with the first and last display number to try: a scratch
# settings folder in $work, a virtual X server, and the helpers both tests use.
rm -rf "$work" && mkdir -p "$work/config/Tarvex" "$work/runtime" && chmod 700 "$work/runtime"
ini=$work/config/Tarvex/Vantrel.ini
display=""
for n in $(seq "$1" "$2"); do
  if [[ ! -e /tmp/.X$n-lock ]]; then display=":$n"; break; fi
done
[[ -n $display ]] || { echo "no free X display number"; exit 1; }
# -noreset: by default the server resets when its last client leaves, and a program
# connecting while it resets (just after the readiness check below has left) is refused.
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
pids=()  # the programs the test started, ended with the server
cleanup() {
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
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

fail() {
  echo "FAILED: $*"
  command -v import >/dev/null && import -window root "$work/failure.png"
  for log in "$work"/*.log; do echo "--- $log" && cat "$log"; done
  exit 1
}
# until_true SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds or time is up.
until_true() {
  local deadline=$(($(date +%s%N) + $1 * 1000000000))
  shift
  while (($(date +%s%N) < deadline)); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
# Ready when a client gets through: a socket left behind by an earlier server can be
# there before this one listens.
x_ready() {
  if command -v xwininfo >/dev/null; then
    xwininfo -root >/dev/null 2>&1
  else
    test -S "/tmp/.X11-unix/X${display#:}"
  fi
}
until_true 10 x_ready || fail "Xvfb did not start"
