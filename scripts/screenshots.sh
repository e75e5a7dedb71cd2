#!/usr/bin/env bash
# Screenshots of every page of the window, as a user sees it, on a private Xvfb
# display with the real service answering. Usage: scripts/screenshots.sh [out-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-screenshots}" && cd "${1:-screenshots}" && pwd)
bin="$PWD/${VELMORA_BUILD_DIR:-build}/bin"
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config DBUS_SESSION_BUS_ADDRESS=disabled:
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/velmora"
display=:$((300 + RANDOM % 200))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
service=""
cleanup() {
  [ -n "${window:-}" ] && kill "$window" 2>/dev/null
  [ -n "$service" ] && kill "$service" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
port_busy() { (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null; }
if port_busy; then
  echo "127.0.0.1:9522 is in use; stop the running service first" >&2
  exit 1
fi
printf '2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n2026-12-10 14:03:07,198.51.100.23,192.168.1.20\r\n' >"$work/velmora.log"
# No public echo service is asked: the address check stays on this machine.
"$bin/velmora-service" --config-dir "$XDG_CONFIG_HOME/velmora" --log-file "$work/velmora.log" --echo-url http://127.0.0.1:9/ >/dev/null 2>&1 &
service=$!
for _ in $(seq 50); do port_busy && break; sleep 0.1; done

export DISPLAY=$display QT_QPA_PLATFORM=xcb
# The window reads the log next to its executable: run a copy beside the log.
cp "$bin/velmora" "$work/velmora"
"$work/velmora" >/dev/null 2>&1 &
window=$!
xdotool search --sync --onlyvisible --name '^Velmora$' >/dev/null
sleep 0.5
# The window is centred on the 1024x768 screen; its tabs are stacked on the left.
left=193 top=126
tab() { xdotool mousemove $((left + 60)) $((top + 50 + 17 + 34 * $1)) click 1; sleep 0.4; }
import -window root "$out/status.png"
tab 1; import -window root "$out/email.png"
tab 2; import -window root "$out/text-message.png"
tab 3; import -window root "$out/options.png"
tab 4; import -window root "$out/history-log.png"
xdotool mousemove $((left + 594)) $((top + 26)) click 1; sleep 0.4
import -window root "$out/help-menu.png"
xdotool key Escape
echo "screenshots in $out"
