#!/usr/bin/env bash
# Builds Velmora, starts the service in the background and opens the window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
scripts/build.sh
bin="$PWD/${VELMORA_BUILD_DIR:-build}/bin"

if [ -x "$bin/velmora-service" ]; then
  if ! "$bin/velmora-service" --is-running 2>/dev/null; then
    nohup "$bin/velmora-service" >>"${XDG_STATE_HOME:-$HOME/.local/state}/velmora-service.out" 2>&1 &
    # The window asks the service at once: wait until it listens.
    for _ in $(seq 100); do (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null && break; sleep 0.05; done
  fi
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: the service runs; to see the window, run it on a desktop or start it off-screen with: xvfb-run $bin/velmora"
  exit 0
fi
exec "$bin/velmora" "$@"
