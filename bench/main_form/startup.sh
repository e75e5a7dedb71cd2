#!/usr/bin/env bash
# Start-up of the window to a shown window, with the service answering, and the
# resident memory of the idle window. Runs on a private Xvfb display.
# Usage: bench/main_form/startup.sh [build-dir] [runs]     (goals: median < 400 ms, RSS < 60 MB)
set -euo pipefail
build=${1:-build}
runs=${2:-11}
bin="$(cd "$build" && pwd)/bin"
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export DBUS_SESSION_BUS_ADDRESS=disabled:
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
display=:$((300 + RANDOM % 200))
# -noreset: otherwise the server resets when its last client leaves and turns away
# whoever connects meanwhile.
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
service="" pid=""
# Whatever has already ended, the rest is still stopped and the folder removed.
cleanup() {
  set +e
  for p in $pid $service $xvfb; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  cat "$work/window.err" >&2 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
port_busy() { (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null; }
if ! port_busy; then
  "$bin/velmora-service" --config-dir "$XDG_CONFIG_HOME/velmora" --log-file "$work/velmora.log" \
    --echo-url http://127.0.0.1:9/ >/dev/null 2>&1 &
  service=$!
fi
for _ in $(seq 100); do port_busy && break; sleep 0.05; done
port_busy || { echo "velmora-service did not start" >&2; exit 1; }
export DISPLAY=$display QT_QPA_PLATFORM=xcb

times=()
for i in $(seq "$runs"); do
  start=$(date +%s%N)
  "$bin/velmora" >/dev/null 2>>"$work/window.err" &
  pid=$!
  # Poll finely: xdotool's own --sync waits half a second between looks.
  until xdotool search --onlyvisible --name '^Velmora$' >/dev/null 2>&1; do sleep 0.01; done
  end=$(date +%s%N)
  times+=($(( (end - start) / 1000000 )))
  if [ "$i" -eq "$runs" ]; then
    sleep 1
    rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  fi
  kill "$pid"; wait "$pid" 2>/dev/null || true
  pid=""
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start-up to shown window (ms): ${times[*]}"
echo "median: ${sorted[$((runs / 2))]} ms (goal < 400 ms)"
echo "idle window resident memory: $((rss / 1024)) MB (goal < 60 MB)"
