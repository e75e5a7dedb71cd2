#!/usr/bin/env bash
# The Debian package as a user gets it: built by scripts/package.sh, checked by
# lintian and by its file list, installed into this system with dpkg, used by a
# throwaway user (the installed service and the installed window, off-screen, with
# a private runtime folder; the public address changed through a stand-in echo
# service on 127.0.0.1), then purged. Whatever happens, the package, the user and
# the test's folder are removed at the end; a run that was killed is cleaned up
# by the next one.
# Usage: package_test.sh <source folder> <build folder> <desktop id>
set -uo pipefail
source_dir=$1 build=$2 id=$3

skip() {
  echo "SKIP: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root: it installs the package into this system and makes a user"
for tool in dpkg dpkg-deb lintian setpriv useradd userdel systemctl systemd-analyze; do
  command -v "$tool" >/dev/null || skip "needs $tool (scripts/install-deps.sh test installs it)"
done

failures=0
pass() { echo "ok: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
abort() {
  echo "FAIL: $*"
  exit 1
}
# scaled <seconds>: a time limit stretched by VELMORA_TEST_TIME_FACTOR (1 by default).
scaled() {
  awk -v s="$1" -v f="${VELMORA_TEST_TIME_FACTOR:-1}" \
    'BEGIN { f += 0; if (f < 1) f = 1; printf "%d", s * f + 0.999 }'
}
# wait_for <seconds> <command...>: polls the command until it succeeds, for at
# most the time given (scaled).
wait_for() {
  local deadline=$((SECONDS + $(scaled "$1")))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}
known() { dpkg-query -W velmora >/dev/null 2>&1; }
# dpkg, waiting up to two minutes while someone else's apt or dpkg holds its lock.
run_dpkg() {
  local deadline=$((SECONDS + $(scaled 120))) status
  while true; do
    dpkg "$@" >"$work/dpkg.log" 2>&1
    status=$?
    if [ $status -eq 0 ] || ! grep -q 'lock' "$work/dpkg.log" || [ $SECONDS -ge $deadline ]; then
      [ $status -eq 0 ] || cat "$work/dpkg.log"
      return $status
    fi
    sleep 1
  done
}

# What a run leaves until its cleanup has run: the user's name, the folder, and
# a line "<process id> <name>" for each program it started.
state=/var/tmp/velmora-package-test
clean_up() {
  local user=$1 work=$2 pid name
  # A process id is used again once its process has gone: only a program the run
  # started is stopped.
  while read -r pid name; do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ] && kill -KILL "$pid" 2>/dev/null
  done < <(tail -n +3 "$state" 2>/dev/null)
  if known; then dpkg --purge velmora >/dev/null 2>&1 || echo "cannot purge velmora" >&2; fi
  if [ -n "$user" ] && getent passwd "$user" >/dev/null; then userdel "$user" 2>/dev/null; fi
  [ -n "$work" ] && rm -rf "$work"
  rm -f "$state"
}
if [ -f "$state" ]; then
  echo "cleaning up after a run that was stopped: $(tr '\n' ' ' <"$state")"
  clean_up "$(sed -n 1p "$state")" "$(sed -n 2p "$state")"
fi
known && skip "a velmora package is on this machine already; remove it (dpkg --purge velmora) to run this test"

work=$(mktemp -d /tmp/velmora-package-test.XXXXXX)
chmod 755 "$work"
user=velmora-pkg-$$
printf '%s\n%s\n' "$user" "$work" >"$state"
pids=()
# started <process id> <program's name, as the kernel keeps it: 15 characters at most>
started() {
  pids+=("$1")
  echo "$1 $2" >>"$state"
}
finish() {
  local status=$?
  trap - EXIT INT TERM
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  clean_up "$user" "$work"
  exit $status
}
trap finish EXIT
trap 'exit 1' INT TERM

# --- the package --------------------------------------------------------------
echo "building the package"
deb=$(VELMORA_PACKAGE_BUILD_DIR="$build/package" "$source_dir/scripts/package.sh" 2>"$work/package.log" | tail -1)
[ -f "$deb" ] || { tail -30 "$work/package.log"; abort "scripts/package.sh made no package"; }
pass "built ${deb##*/}"

# Errors fail the test; warnings and notes are shown.
said=$(lintian --fail-on error --display-info "$deb" 2>&1)
status=$?
grep -v 'running with root privileges' <<<"$said"
[ $status -eq 0 ] && pass "lintian: no errors" || fail "lintian reports errors"

expected="\
./etc/xdg/autostart/$id.desktop
./usr/bin/velmora
./usr/bin/velmora-service
./usr/lib/systemd/user/velmora-service.service
./usr/libexec/velmora/velmora-echo-check
./usr/libexec/velmora/velmora-notify
./usr/libexec/velmora/velmora-send-mail
./usr/libexec/velmora/velmora-send-push
./usr/libexec/velmora/velmora-upload-page
./usr/share/applications/$id.desktop
./usr/share/doc/velmora/changelog.Debian.gz
./usr/share/doc/velmora/changelog.gz
./usr/share/doc/velmora/copyright
./usr/share/icons/hicolor/128x128/apps/$id.png
./usr/share/icons/hicolor/16x16/apps/$id.png
./usr/share/icons/hicolor/22x22/apps/$id.png
./usr/share/icons/hicolor/24x24/apps/$id.png
./usr/share/icons/hicolor/256x256/apps/$id.png
./usr/share/icons/hicolor/32x32/apps/$id.png
./usr/share/icons/hicolor/48x48/apps/$id.png
./usr/share/icons/hicolor/64x64/apps/$id.png
./usr/share/icons/hicolor/scalable/apps/$id.svg
./usr/share/man/man1/velmora-service.1.gz
./usr/share/man/man1/velmora.1.gz
./usr/share/metainfo/$id.metainfo.xml"
# Files only (folders end in /), with their mode and owner.
listing=$(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ {print $1, $2, $6}' | sort -k3)
if difference=$(diff <(echo "$expected") <(awk '{print $3}' <<<"$listing")); then
  pass "dpkg-deb -c: every file where it belongs, and no other"
else
  fail "dpkg-deb -c: the files differ (<: missing, >: not expected)"
  echo "$difference"
fi
while read -r mode owner path; do
  case $path in
  ./usr/bin/* | ./usr/libexec/*) want=-rwxr-xr-x ;;
  *) want=-rw-r--r-- ;;
  esac
  [ "$mode $owner" = "$want root/root" ] || fail "$path is $mode $owner, not $want root/root"
done <<<"$listing"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6core6 libqt6widgets6 libqt6network6 libqt6svg6 libcurl4; do
  [[ ", $depends" == *", $library "* || ", $depends," == *", $library,"* ]] || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Recommends)" = "xdg-utils, qt6-wayland, apprise" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

# --- installed ----------------------------------------------------------------
echo "installing"
run_dpkg -i "$deb" || abort "dpkg -i failed"
pass "dpkg -i"
enabled=$(systemctl --global is-enabled velmora-service.service 2>&1)
[ "$enabled" = enabled ] && pass "the user unit is enabled for every user" || fail "the user unit is $enabled"
mkdir -m 700 "$work/verify"
said=$(XDG_RUNTIME_DIR=$work/verify systemd-analyze --user verify /usr/lib/systemd/user/velmora-service.service 2>&1)
[ $? -eq 0 ] && [ -z "$said" ] && pass "systemd-analyze verify on the installed unit" ||
  fail "systemd-analyze verify on the installed unit: $said"
for page in velmora velmora-service; do
  man -w "$page" >/dev/null 2>&1 && pass "man $page" || fail "man finds no page $page"
done

# --- a user -------------------------------------------------------------------
home=$work/home runtime=$work/runtime
useradd --system --no-create-home --home-dir "$home" --shell /usr/sbin/nologin "$user" ||
  abort "cannot make the user $user"
mkdir -m 700 "$home" "$runtime" "$work/probe"
chown "$user:" "$home" "$runtime" "$work/probe"
cp -r "$build/tests/plugins" "$work/plugins"
chmod -R a+rX "$work/plugins"
# A program run as the user, in the user's session as far as the programs look
# (no display, no bus): setpriv and env exec it, so its process id is the one started.
as_user=(setpriv --reuid="$user" --regid="$user" --init-groups
  env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin LANG=C.UTF-8
  XDG_RUNTIME_DIR="$runtime" DBUS_SESSION_BUS_ADDRESS=disabled:)
port_open() { (exec 3<>/dev/tcp/127.0.0.1/9522) 2>/dev/null; }

coproc echo_service { exec "$build/tests/bin/velmora_echo_stand_in" 203.0.113.7; }
started "$echo_service_PID" velmora_echo_st
read -r -t 10 echo_port <&"${echo_service[0]}" || abort "the stand-in echo service did not start"

# Another test's service may hold the port for a while.
wait_for 60 eval '! port_open' || abort "127.0.0.1:9522 stays in use: another service runs"
"${as_user[@]}" /usr/bin/velmora-service --echo-url "http://127.0.0.1:$echo_port/" \
  --echo-interval 0.3 --echo-min-gap 0 >"$work/service.log" 2>&1 &
service=$!
started "$service" velmora-service
if wait_for 15 port_open; then pass "the installed service listens"; else
  cat "$work/service.log"
  abort "the installed service does not listen"
fi
status() { "$build/tests/bin/velmora_service_probe" 9522 ask UpdateStatus 2>/dev/null; }
wait_for 15 eval 'status | grep -qx 203.0.113.7' || fail "the service never learned 203.0.113.7"

echo 198.51.100.23 >&"${echo_service[1]}"
log=$home/.local/state/velmora/velmora.log
line_pattern='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2},198\.51\.100\.23,[0-9.]*(,[0-9a-f:]*,[0-9a-f:]*)?'
has_line() { grep -Eqx "$line_pattern"$'\r' "$log" 2>/dev/null; }
if wait_for 15 has_line; then
  history=$(grep -Ex "$line_pattern"$'\r' "$log" | tr -d '\r')
  pass "the change is in ~/.local/state/velmora/velmora.log: $history"
else
  fail "no line for 198.51.100.23 in ~/.local/state/velmora/velmora.log"
  history=""
  cat "$work/service.log"
fi

# The window, off-screen, with the probe that reads its History Log list.
list=$work/probe/list.txt
"${as_user[@]}" QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$work/plugins" \
  QT_QPA_GENERIC_PLUGINS="velmorahistoryprobe:$list" /usr/bin/velmora >"$work/window.log" 2>&1 &
window=$!
started "$window" velmora
window_ended() { ! kill -0 "$window" 2>/dev/null; }
wait_for 30 window_ended || fail "the window did not end after its list was read"
if [ ! -f "$list" ]; then
  fail "the History Log list could not be read"
  cat "$work/window.log"
elif [ -n "$history" ] && grep -Fqx "$history" "$list"; then
  pass "the window's History Log list shows it"
else
  fail "the window's History Log list does not show the change; it shows: $(tr '\n' ' ' <"$list")"
fi

kill -TERM "$service" 2>/dev/null
wait_for 10 eval '! kill -0 "$service" 2>/dev/null' || fail "the service did not stop on SIGTERM"

# --- removed ------------------------------------------------------------------
files_in_home=$(find "$home" | sort)
run_dpkg --remove velmora || fail "dpkg --remove failed"
[ ! -e /usr/bin/velmora ] && [ ! -e /usr/bin/velmora-service ] && pass "dpkg --remove: the programs are gone" ||
  fail "dpkg --remove left the programs"
enabled=$(systemctl --global is-enabled velmora-service.service 2>&1)
[ "$enabled" != enabled ] && pass "removed, the user unit is $enabled" || fail "removed, the user unit is still enabled"
run_dpkg --purge velmora || fail "dpkg --purge failed"
known && fail "dpkg still knows velmora after the purge"
[ -e "/etc/xdg/autostart/$id.desktop" ] && fail "the purge left the autostart entry"
left=$(find /etc/systemd/user /var/lib/systemd/deb-systemd-user-helper-enabled \
  /var/lib/systemd/deb-systemd-user-helper-masked -name 'velmora*' 2>/dev/null)
[ -z "$left" ] && pass "dpkg --purge: nothing of the unit is left in /etc or /var/lib" ||
  fail "the purge left: $left"
[ "$(find "$home" | sort)" = "$files_in_home" ] && pass "the user's files are as they were" ||
  fail "removing the package changed the user's files"

echo "$failures check(s) failed"
[ $failures -eq 0 ]
