#!/usr/bin/env bash
# Start-up of the window to a shown window, with the service answering, and the
# resident memory of the idle window, beside the same figures of the smallest Qt
# Widgets window (bench_minimal_window, the floor) started the same way in the same
# run. Runs on a private Xvfb display; every wait is bounded.
# Usage: bench/main_form/startup.sh [build-dir] [runs]     (goals: median < 400 ms, RSS < 60 MB)
# Needs the benchmarks built: scripts/build.sh -DVELMORA_BUILD_BENCH=ON
set -euo pipefail
build=${1:-build}
runs=${2:-11}
bin="$(cd "$build" && pwd)/bin"
bench_bin="$(cd "$build" && pwd)/bench/bin"
[ -x "$bench_bin/bench_minimal_window" ] || {
  echo "$bench_bin/bench_minimal_window is missing: build with -DVELMORA_BUILD_BENCH=ON" >&2
  exit 1
}
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
x_up() { DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1; }
for _ in $(seq 100); do x_up && break; sleep 0.05; done
x_up || { echo "Xvfb did not start" >&2; exit 1; }
port_busy() { (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null; }
if ! port_busy; then
  "$bin/velmora-service" --config-dir "$XDG_CONFIG_HOME/velmora" --log-file "$work/velmora.log" \
    --echo-url http://127.0.0.1:9/ >/dev/null 2>&1 &
  service=$!
fi
for _ in $(seq 100); do port_busy && break; sleep 0.05; done
port_busy || { echo "velmora-service did not start" >&2; exit 1; }
export DISPLAY=$display QT_QPA_PLATFORM=xcb

# Starts a program and measures the time until a visible window of that title shows
# (10 s at most) into $elapsed_ms, leaving the program's process id in $pid; with
# "rss" also its resident memory once it has settled into $rss_kb.
window_timeout_ms=10000
time_to_window() {
  local title=$1 measure_rss=$2
  shift 2
  local start now
  start=$(date +%s%N)
  "$@" >/dev/null 2>>"$work/window.err" &
  pid=$!
  # Poll finely: xdotool's own --sync waits half a second between looks.
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do
    now=$(date +%s%N)
    if (( (now - start) / 1000000 > window_timeout_ms )) || ! kill -0 "$pid" 2>/dev/null; then
      echo "no \"$title\" window within $window_timeout_ms ms" >&2
      return 1
    fi
    sleep 0.01
  done
  now=$(date +%s%N)
  elapsed_ms=$(( (now - start) / 1000000 ))
  [ "$measure_rss" = rss ] || return 0
  # Settled: the resident memory no longer changes over 0.2 s (5 s at most).
  local before
  before=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
  for _ in $(seq 25); do
    sleep 0.2
    rss_kb=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status")
    [ "$rss_kb" = "$before" ] && break
    before=$rss_kb
  done
  return 0
}

stop_window() {
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
  pid=""
}

# Starts one program $runs times: its times, their median ($median) and the last
# run's resident memory ($rss_mb).
measure() {
  local label=$1 title=$2
  shift 2
  local times=() i what
  for i in $(seq "$runs"); do
    what=no
    [ "$i" -eq "$runs" ] && what=rss
    time_to_window "$title" "$what" "$@" || { stop_window; return 1; }
    times+=("$elapsed_ms")
    stop_window
  done
  local sorted
  sorted=($(printf '%s\n' "${times[@]}" | sort -n))
  median=${sorted[$((runs / 2))]}
  rss_mb=$((rss_kb / 1024))
  echo "$label, start-up to shown window (ms): ${times[*]}"
}

measure "velmora" "Velmora" "$bin/velmora" || exit 1
velmora_median=$median velmora_rss=$rss_mb
measure "minimal Qt window (floor)" "Minimal Qt window" "$bench_bin/bench_minimal_window" || exit 1
floor_median=$median floor_rss=$rss_mb

echo
echo "median start-up: velmora $velmora_median ms, floor $floor_median ms" \
  "(ratio $(awk -v a="$velmora_median" -v b="$floor_median" 'BEGIN { printf "%.2f", b ? a / b : 0 }'); goal < 400 ms)"
echo "idle resident memory: velmora $velmora_rss MB, floor $floor_rss MB (goal < 60 MB)"
