#!/usr/bin/env bash
# Configures and builds the tool into build/ with Ninja. Arguments, if any,
# are the targets to build (default: all). BUILD_DIR and JOBS may be set.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=()
for target in "$@"; do
  targets+=(--target "$target")
done
cmake --build "$build" --parallel "${JOBS:-$(nproc)}" "${targets[@]}"
