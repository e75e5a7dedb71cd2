#!/usr/bin/env bash
# Builds the fuzzing drivers of fuzz/ with clang's libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer (into build-fuzz/, or
# $VELMORA_FUZZ_BUILD_DIR) and runs each one for a bounded time.
# Usage: scripts/fuzz.sh [seconds per driver, 60 by default] [driver ...]
#   e.g. scripts/fuzz.sh 300 settings_file value_escapes
# Each driver starts from its seeds in fuzz/seeds/<driver>/ and keeps what it
# finds in <build>/fuzz/corpus/<driver>/; an input that fails is saved in
# <build>/fuzz/artifacts/ and the script ends with status 1 after the others ran.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/install-deps.sh fuzz
build_dir=${VELMORA_FUZZ_BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DVELMORA_FUZZ=ON \
  -DVELMORA_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build_dir" --target velmora_fuzzers -j "$(nproc)"

drivers=("$@")
if [ ${#drivers[@]} -eq 0 ]; then
  for program in "$build_dir"/fuzz/bin/fuzz_*; do
    drivers+=("$(basename "$program" | sed 's/^fuzz_//')")
  done
fi

failed=()
for driver in "${drivers[@]}"; do
  corpus="$build_dir/fuzz/corpus/$driver"
  artifacts="$build_dir/fuzz/artifacts/$driver/"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "fuzz/seeds/$driver" ] && seeds=("fuzz/seeds/$driver")
  echo "== $driver: $seconds s"
  # -close_fd_mask=2: the service's own messages about bad input stay out of
  # sight; the fuzzer's report of a failure is still shown.
  if ! "$build_dir/fuzz/bin/fuzz_$driver" "$corpus" "${seeds[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$artifacts"; then
    failed+=("$driver")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "failed: ${failed[*]} (inputs in $build_dir/fuzz/artifacts/)" >&2
  exit 1
fi
echo "no failure in ${#drivers[@]} drivers"
