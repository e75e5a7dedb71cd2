#!/usr/bin/env bash
# Builds the Debian package velmora_<version>-<revision>_<architecture>.deb: a
# build of its own for /usr with Debian's compiler and linker flags and without
# the tests, installed by CPack's DEB generator, which works out the
# dependencies from the libraries the programs use. Prints the package's path.
# Usage: scripts/package.sh
#   The build goes to $VELMORA_PACKAGE_BUILD_DIR (default build/package), the
#   package into its deb/ folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build >&2
build_dir=${VELMORA_PACKAGE_BUILD_DIR:-${VELMORA_BUILD_DIR:-build}/package}

# Hardened as Debian builds its packages: fortified functions, stack protector,
# read-only relocations bound at start.
flag() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cxx_flags="$(flag CPPFLAGS) $(flag CXXFLAGS)"
ld_flags=$(flag LDFLAGS)

cmake -S . -B "$build_dir" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_DEBIAN_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$ld_flags" >&2
cmake --build "$build_dir" -j "$(nproc)" >&2
rm -rf "$build_dir/deb"
(cd "$build_dir" && cpack >&2)
ls "$(cd "$build_dir/deb" && pwd)"/velmora_*.deb
