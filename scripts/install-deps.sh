#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Velmora need.
# Usage: scripts/install-deps.sh [build|test|fuzz]   (test and fuzz include build)
set -euo pipefail

# libc-ares-dev: the DNS questions of the public-address check. librsvg2-bin
# renders the icon's PNG sizes; dpkg-dev and file are what
# scripts/package.sh needs to work out the package's dependencies.
build_packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-gtk-platformtheme qt6-wayland libgl-dev
  libcurl4-openssl-dev libc-ares-dev ca-certificates
  librsvg2-bin dpkg-dev file
)
# The last line: the lint tools the packaging tests run, and passwd (useradd) for
# the package test's throwaway user. libsm-dev and libice-dev: the session
# test's own session manager; libxcb1-dev: the desktop test's look at input grabs. xfce4-panel, xfwm4, sway, waybar and mutter: the desktops
# the tray tests run on. webhook and apprise: the push alerts' receiver and the
# command they send Apprise URLs through. dnsmasq-base: the DNS server the
# public-address tests answer from (the program alone, no system service).
# radvd: the router announcing IPv6 prefixes in the local IPv6 test (started
# by the test in a network namespace of its own). clang-format: the check that
# every source file is in the project's format.
test_packages=(
  xvfb xauth xdotool trayer openbox wmctrl x11-utils imagemagick poppler-utils
  python3 python3-aiosmtpd python3-pyftpdlib openssl libsm-dev libice-dev libxcb1-dev
  postfix vsftpd iproute2 procps dbus-daemon xfce4-panel xfwm4 sway waybar mutter
  webhook apprise dnsmasq-base radvd
  lintian desktop-file-utils appstream mandoc man-db systemd passwd clang-format
)

# clang's libFuzzer and sanitizer runtimes, for scripts/fuzz.sh only.
fuzz_packages=(clang libclang-rt-14-dev)

want=("${build_packages[@]}")
case "${1:-build}" in
  test) want+=("${test_packages[@]}") ;;
  fuzz) want+=("${fuzz_packages[@]}") ;;
esac

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Postfix and vsftpd are only started privately by the tests: no system-wide
# configuration, and no service started by the package scripts.
echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections
policy=/usr/sbin/policy-rc.d
made_policy=0
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  made_policy=1
fi
cleanup() { if [ "$made_policy" = 1 ]; then $sudo rm -f "$policy"; fi; }
trap cleanup EXIT
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
