#!/usr/bin/env bash
# The whole test suite: installs what it needs, builds, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/build.sh -DVELMORA_WERROR=ON
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/velmora-runtime.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR"
cd "${VELMORA_BUILD_DIR:-build}"
ctest --output-on-failure -j "$(nproc)" "$@"
