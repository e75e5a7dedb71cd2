#!/usr/bin/env bash
# The files the install rules install, as the build made them, read by the tools
# that desktops, software centres, systemd and man read them with: every tool must
# be content. Besides: each manual page describes the options its program's
# --help lists, the release is the same everywhere, the icon's PNGs have their
# folder's size.
# Usage: lint.sh <build folder> <desktop id> <project version>
set -uo pipefail
build=$1 id=$2 version=$3
out=$build/packaging
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

for tool in desktop-file-validate appstreamcli mandoc man systemd-analyze file; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: needs $tool (scripts/install-deps.sh test installs it)"
    exit 77
  fi
done

failures=0
pass() { echo "ok: $*"; }
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Passes when the command succeeds and says nothing; otherwise shows what it said.
silent() {
  local what=$1 said status
  shift
  said=$("$@" 2>&1)
  status=$?
  if [ $status -eq 0 ] && [ -z "$said" ]; then
    pass "$what"
  else
    fail "$what (exit $status)"
    printf '%s\n' "$said"
  fi
}

for entry in "$out/applications/$id.desktop" "$out/autostart/$id.desktop"; do
  silent "desktop-file-validate ${entry#"$out"/}" desktop-file-validate "$entry"
done
autostart=$out/autostart/$id.desktop
for line in "Exec=/.*/velmora systray" "X-GNOME-Autostart-Delay=[0-9]+" "X-MATE-Autostart-Delay=[0-9]+" \
  "X-KDE-autostart-after=panel" "X-LXQt-Need-Tray=true"; do
  grep -Eqx "$line" "$autostart" || fail "the autostart entry has no line $line"
done

# Errors and warnings fail it; its notes are shown. (The only one: the example
# site host's reversed name does not start with a known top-level domain.)
metainfo=$out/$id.metainfo.xml
if said=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
  pass "appstreamcli validate --no-net"
else
  fail "appstreamcli validate --no-net"
fi
printf '%s\n' "$said"
grep -Fq "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
grep -Fq "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
  fail "the metainfo does not launch $id.desktop"

# mandoc's notes that a referenced page is not installed on this machine say
# nothing of the page itself.
for page in velmora velmora-service; do
  file=$out/man/man1/$page.1
  said=$(mandoc -T lint "$file" 2>&1 | grep -v -e 'STYLE: referenced manual not found' -e 'mandoc\.db')
  if [ -z "$said" ]; then pass "mandoc -T lint $page.1"; else
    fail "mandoc -T lint $page.1"
    printf '%s\n' "$said"
  fi
  # What lintian runs: groff's warnings.
  silent "man --warnings $page.1" sh -c 'MANWIDTH=80 man --warnings -E UTF-8 -l "$1" >/dev/null' sh "$file"
done

# Every long option --help lists is described in the manual page's lists, and no other.
options_in_help() { "$1" --help | grep -o -- '--[a-z][a-z-]*' | sort -u; }
options_in_page() { grep '^\.It Fl' "$1" | grep -o -- 'Fl -[a-z][a-z-]*' | sed 's/^Fl -/--/' | sort -u; }
for program in velmora velmora-service; do
  if difference=$(diff <(options_in_help "$build/bin/$program") \
    <(options_in_page "$out/man/man1/$program.1")); then
    pass "$program(1) describes the options of $program --help"
  else
    fail "$program(1) and $program --help differ (<: --help only, >: the page only)"
    printf '%s\n' "$difference"
  fi
done

# The unit as systemd reads it, with its program and its documentation found in
# the build folder instead of where they are installed.
unit=$out/velmora-service.service
grep -Eqx "ExecStart=/.*/bin/velmora-service" "$unit" || fail "the unit does not start the installed velmora-service"
grep -Fqx "Documentation=man:velmora-service(1)" "$unit" || fail "the unit does not name velmora-service(1)"
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
mkdir "$runtime/units"
sed "s|^ExecStart=.*|ExecStart=$build/bin/velmora-service|" "$unit" >"$runtime/units/velmora-service.service"
silent "systemd-analyze --user verify velmora-service.service" \
  env XDG_RUNTIME_DIR="$runtime" MANPATH="$out/man" systemd-analyze --user verify \
  "$runtime/units/velmora-service.service"

for folder in "$out"/icons/*x*; do
  size=${folder##*/}
  kind=$(file -b "$folder/$id.png")
  case $kind in
  "PNG image data, ${size/x/ x }, "*) pass "icon $size" ;;
  *) fail "icon $size is $kind" ;;
  esac
done

# The release named by the metainfo, the changelog and the package's changelog.
newest_metainfo=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
newest_changelog=$(grep -o '^## [^ ]*' "$source_dir/CHANGELOG.md" | head -1 | cut -c4-)
newest_package=$(head -1 "$source_dir/packaging/debian/changelog.in" | sed -n 's/^velmora (\([^-]*\)-.*/\1/p')
for named in "metainfo:$newest_metainfo" "CHANGELOG.md:$newest_changelog" \
  "packaging/debian/changelog.in:$newest_package"; do
  if [ "${named#*:}" = "$version" ]; then pass "${named%%:*} is for $version"; else
    fail "${named%%:*} is for ${named#*:}, the project is $version"
  fi
done

[ $failures -eq 0 ]
