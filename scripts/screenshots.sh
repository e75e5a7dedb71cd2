#!/usr/bin/env bash
# Screenshots of every page of the window, the About box, and the icon in the
# notification area with its tip and its menu, as a user sees them: on a private
# Xvfb display with a window manager (openbox) and a notification area (trayer),
# the real service answering and a stand-in echo service giving it the public
# address 198.51.100.23.
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
for tool in Xvfb openbox trayer xdotool xprop xwininfo wmctrl import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/install-deps.sh test installs it" >&2; exit 1; }
done
build="$PWD/${VELMORA_BUILD_DIR:-build}"
bin=$build/bin
echo_stand_in=$build/tests/bin/velmora_echo_stand_in
[ -x "$echo_stand_in" ] || { echo "$echo_stand_in is missing: build the tests (scripts/build.sh)" >&2; exit 1; }
out=$(mkdir -p "${1:-screenshots}" && cd "${1:-screenshots}" && pwd)
work=$(mktemp -d)
export XDG_RUNTIME_DIR=$work/runtime XDG_CONFIG_HOME=$work/config XDG_STATE_HOME=$work/state
export DBUS_SESSION_BUS_ADDRESS=disabled:
mkdir -p -m 700 "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/velmora" "$XDG_STATE_HOME/velmora"
export DISPLAY=:$((300 + RANDOM % 200))
# -noreset: otherwise the server resets when its last client leaves and turns away
# whoever connects meanwhile.
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
service="" window="" window_manager="" tray_host="" echo_service_PID=""
# Whatever has already ended, the rest is still stopped and the folder removed.
cleanup() {
  set +e
  for pid in $window $service $echo_service_PID $tray_host $window_manager $xvfb; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# wait_for <tries of 0.05 s> <command...>
wait_for() {
  local tries=$1
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.05; done
  return 1
}
wait_for 100 xdotool getmouselocation >/dev/null 2>&1

# A desktop's background behind the notification area (display exits with 1 even
# when it has set it).
convert -size 1280x1024 gradient:'#6b8fb3-#34536f' "$work/background.png"
display -window root "$work/background.png" || true
openbox --sm-disable >/dev/null 2>&1 &
window_manager=$!
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for 200 wm_ready || { echo "openbox did not start" >&2; exit 1; }
trayer --edge top --align right --widthtype pixel --width 100 --heighttype pixel --height 32 >/dev/null 2>&1 &
tray_host=$!
wait_for 200 eval 'xdotool search --onlyvisible --class "^trayer$" >/dev/null 2>&1' ||
  { echo "trayer did not start" >&2; exit 1; }
# trayer takes the notification area's selection just after its panel shows.
sleep 0.5

port_busy() { (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null; }
if port_busy; then
  echo "127.0.0.1:9522 is in use; stop the running service first" >&2
  exit 1
fi
coproc echo_service { exec "$echo_stand_in" 198.51.100.23; }
read -r echo_port <&"${echo_service[0]}"
log=$XDG_STATE_HOME/velmora/velmora.log
printf '2026-12-09 08:15:02,203.0.113.7,192.168.1.20\r\n2026-12-10 14:03:07,198.51.100.23,192.168.1.20\r\n' >"$log"
"$bin/velmora-service" --config-dir "$XDG_CONFIG_HOME/velmora" --log-file "$log" \
  --echo-url "http://127.0.0.1:$echo_port/" >/dev/null 2>&1 &
service=$!
wait_for 100 port_busy || { echo "velmora-service did not start" >&2; exit 1; }

export QT_QPA_PLATFORM=xcb
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
# A part of the screen: the smallest rectangle around the windows given, with a
# margin. (xwininfo, as xdotool misplaces a window the window manager has framed.)
shot_around() {
  local name=$1 box
  shift
  box=$(for w in "$@"; do xwininfo -id "$w"; done |
    awk -F: '/Absolute upper-left X/{x=$2} /Absolute upper-left Y/{y=$2} /Width/{w=$2} /Height/{
      h=$2; if (n++ == 0 || x < l) l = x; if (n == 1 || y < t) t = y
      if (n == 1 || x + w > r) r = x + w; if (n == 1 || y + h > b) b = y + h }
      END { m = 24; l -= m; t -= m; r += m; b += m; if (l < 0) l = 0; if (t < 0) t = 0
        if (r > 1280) r = 1280; if (b > 1024) b = 1024
        printf "%dx%d+%d+%d", r - l, b - t, l, t }')
  import -window root -crop "$box" "$out/$name.png"
}
velmora_windows() { xdotool search --onlyvisible --class '^velmora$' 2>/dev/null | sort; }
# A window of the program's that was not there before: a menu or a tip.
new_window() { comm -13 <(echo "$1") <(velmora_windows) | head -1; }
# The tabs from the keyboard: the strip has the focus first; Down goes to the
# next shown tab.
xdotool windowfocus --sync "$main"
shot "$main" status
for page in email text-message push options history-log; do
  xdotool key --window "$main" Down; sleep 0.4
  shot "$main" "$page"
done
# The Help button at the right of the header; "About" from its menu.
width=$(xdotool getwindowgeometry --shell "$main" | sed -n 's/^WIDTH=//p')
before=$(velmora_windows)
xdotool mousemove --window "$main" $((width - 44)) 26 click 1
wait_for 100 eval '[ -n "$(new_window "$before")" ]' || { echo "the Help button showed no menu" >&2; exit 1; }
sleep 0.3
shot_around help-menu "$main" "$(new_window "$before")"
xdotool key a; sleep 0.6
about=$(xdotool search --onlyvisible --name '^About - Velmora$' | head -1)
if [ -n "$about" ]; then
  shot "$about" about
  # Its Close button has the focus.
  xdotool key Return
  wait_for 100 eval '! xdotool search --onlyvisible --name "^About - Velmora$" >/dev/null 2>&1'
fi

# Closed, the window goes to the notification area: the icon, its tip, its menu.
wmctrl -i -c "$main"
wait_for 100 eval '! xdotool search --onlyvisible --name "^Velmora$" >/dev/null 2>&1'
small() { [ "$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=//p')" -le 64 ]; }
icon=""
for w in $(velmora_windows); do small "$w" && icon=$w; done
[ -n "$icon" ] || { echo "no icon in the notification area" >&2; exit 1; }
panel=$(xdotool search --onlyvisible --class '^trayer$' | head -1)
before=$(velmora_windows)
# The tip shows once the pointer rests on the icon; now and then it does not come
# the first time, so the pointer leaves and comes again.
for _ in 1 2 3; do
  xdotool mousemove 640 600 sleep 0.2 mousemove --window "$icon" 6 8 mousemove --window "$icon" 10 10
  wait_for 60 eval '[ -n "$(new_window "$before")" ]' && break
done
[ -n "$(new_window "$before")" ] || { echo "the icon showed no tip" >&2; exit 1; }
sleep 0.3
shot_around tray-tip "$panel" "$(new_window "$before")"
xdotool mousemove 640 600
wait_for 100 eval '[ -z "$(new_window "$before")" ]'
# Clicked at its lower edge, the menu opens below the icon and leaves it in sight.
icon_height=$(xdotool getwindowgeometry --shell "$icon" | sed -n 's/^HEIGHT=//p')
xdotool mousemove --window "$icon" 10 $((icon_height - 1)) click 3
wait_for 100 eval '[ -n "$(new_window "$before")" ]' || { echo "the icon showed no menu" >&2; exit 1; }
sleep 0.3
shot_around tray-menu "$panel" "$(new_window "$before")"
xdotool key Escape
echo "screenshots in $out"
