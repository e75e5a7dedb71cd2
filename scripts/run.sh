#!/usr/bin/env bash
# Builds Velmora, starts the service in the background and opens the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
scripts/build.sh
bin="$(cd "${VELMORA_BUILD_DIR:-build}" && pwd)/bin"
service=$bin/velmora-service
port=9522

# The service's output goes to the user's state folder, beside its history. An
# empty or relative XDG_STATE_HOME does not count (XDG Base Directory rules).
state_home=${XDG_STATE_HOME:-}
[[ $state_home == /* ]] || state_home=$HOME/.local/state
state_dir=$state_home/velmora
output=$state_dir/velmora-service.out
(umask 077 && mkdir -p "$state_dir" && touch "$output")

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }

pid="" start=0
if "$service" --is-running 2>/dev/null; then
  echo "velmora-service already runs for $(id -un)."
else
  if listening; then
    echo "run.sh: 127.0.0.1:$port is in use, but not by your velmora-service; stop what uses it first." >&2
    exit 1
  fi
  start=$(stat -c %s "$output" 2>/dev/null || echo 0)
  nohup "$service" >>"$output" 2>&1 </dev/null &
  pid=$!
fi
# The window asks the service at once: wait until it listens (10 s at most),
# or until it has ended.
alive() { [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null; }
for _ in $(seq 200); do
  if listening || ! alive; then break; fi
  sleep 0.05
done
if ! alive || ! listening; then
  echo "run.sh: velmora-service does not listen on 127.0.0.1:$port; the end of its output ($output):" >&2
  tail -c +"$((start + 1))" "$output" | tail -n 20 >&2
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  exit 1
fi
echo "velmora-service listens on 127.0.0.1:$port (its output: $output)."
echo "To stop it: $service --stop"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: the service runs; to see the window, run it on a desktop or start it off-screen with: xvfb-run $bin/velmora"
  exit 0
fi
echo "The window stays in the notification area; Exit in its menu ends it."
exec "$bin/velmora" "$@"
