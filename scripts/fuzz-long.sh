#!/usr/bin/env bash
# Runs every fuzz target for longer than the test command does: the
# argument is the time per target in seconds (default 600, ten minutes).
# Builds the targets with clang into build-fuzz beside BUILD_DIR (default
# build/), as the test command does. What the fuzzers find on the way is kept
# in build-fuzz/tests/fuzz/corpus/<target>/; an input that breaks a property
# is written beside it as crash-*. JOBS sets how many targets run at once
# (default: the number of processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build_root=$(dirname "${BUILD_DIR:-$root/build}")
dir=$build_root/build-fuzz
jobs=${JOBS:-$(nproc)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DCARDPUSH_FUZZ=ON -DCARDPUSH_GUI=OFF -DCARDPUSH_BENCH=OFF \
  -DCARDPUSH_FUZZ_SECONDS="$seconds" >/dev/null
mapfile -t targets < <(ctest --test-dir "$dir" -L fuzz -N 2>/dev/null |
  sed -n 's/^ *Test *#[0-9]*: *//p')
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets found" >&2
  exit 1
fi
cmake --build "$dir" --parallel "$jobs" --target "${targets[@]}"
ctest --test-dir "$dir" -L fuzz --output-on-failure --parallel "$jobs"
