#!/usr/bin/env bash
# Screenshots of every page of the window and of the About box, as a user sees
# them, on a private Xvfb display with the real service answering.
# Usage: scripts/screenshots.sh [--dark] [--font-size <points>] [out-dir]
#   --dark        a dark desktop palette (GTK's Adwaita dark, through Qt's GTK theme)
#   --font-size   the desktop's font size (default: the desktop's default)
set -euo pipefail
cd "$(dirname "$0")/.."
dark=0 font_size=""
while [ $# -gt 0 ]; do
  case $1 in
    --dark) dark=1; shift ;;
    --font-size) font_size=$2; shift 2 ;;
    *) break ;;
  esac
done
out=$(mkdir -p "${1:-screenshots}" && cd "${1:-screenshots}" && pwd)
bin="$PWD/${VELMORA_BUILD_DIR:-build}/bin"
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export DBUS_SESSION_BUS_ADDRESS=disabled:
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/velmora" "$XDG_STATE_HOME/velmora"
display=:$((300 + RANDOM % 200))
# -noreset: otherwise the server resets when its last client leaves and turns away
# whoever connects meanwhile.
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do DISPLAY=$display xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.05; done
service="" window=""
# Whatever has already ended, the rest is still stopped and the folder removed.
cleanup() {
  set +e
  for pid in $window $service $xvfb; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
port_busy() { (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null; }
if port_busy; then
  echo "127.0.0.1:9522 is in use; stop the running service first" >&2
  exit 1
fi
log=$XDG_STATE_HOME/velmora/velmora.log
printf '2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n2026-12-10 14:03:07,198.51.100.23,192.168.1.20\r\n' >"$log"
# No public echo service is asked: the address check stays on this machine.
"$bin/velmora-service" --log-file "$log" --echo-url http://127.0.0.1:9/ >/dev/null 2>&1 &
service=$!
for _ in $(seq 100); do port_busy && break; sleep 0.05; done
port_busy || { echo "velmora-service did not start" >&2; exit 1; }

export DISPLAY=$display QT_QPA_PLATFORM=xcb
# The desktop's palette and font, as a GTK desktop hands them to Qt programs.
if [ "$dark" = 1 ] || [ -n "$font_size" ]; then
  export QT_QPA_PLATFORMTHEME=gtk3
  [ "$dark" = 1 ] && export GTK_THEME=Adwaita:dark
  if [ -n "$font_size" ]; then
    mkdir -p "$XDG_CONFIG_HOME/gtk-3.0"
    printf '[Settings]\ngtk-font-name=Sans %s\n' "$font_size" >"$XDG_CONFIG_HOME/gtk-3.0/settings.ini"
  fi
fi
"$bin/velmora" >/dev/null 2>&1 &
window=$!
main=$(xdotool search --sync --onlyvisible --name '^Velmora$' | head -1)
sleep 0.5
shot() { import -window "$1" "$out/$2.png"; }
# The tabs from the keyboard: the strip has the focus first; Down goes to the
# next shown tab.
xdotool windowfocus --sync "$main"
shot "$main" status
for page in email text-message options history-log; do
  xdotool key --window "$main" Down; sleep 0.4
  shot "$main" "$page"
done
# The Help button at the right of the header; "About" from its menu.
width=$(xdotool getwindowgeometry --shell "$main" | sed -n 's/^WIDTH=//p')
xdotool mousemove --window "$main" $((width - 44)) 26 click 1; sleep 0.4
import -window root -crop "$(xdotool getwindowgeometry --shell "$main" | awk -F= '/WIDTH/{w=$2}/HEIGHT/{h=$2}/^X/{x=$2}/^Y/{y=$2}END{print w+160 "x" h "+" x "+" y}')" "$out/help-menu.png"
xdotool key a; sleep 0.6
about=$(xdotool search --onlyvisible --name '^About - Velmora$' | head -1)
[ -n "$about" ] && shot "$about" about && xdotool key --window "$about" Return
echo "screenshots in $out"
