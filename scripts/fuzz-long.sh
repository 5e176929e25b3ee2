#!/usr/bin/env bash
# Runs every fuzz target for longer than the test command does: the
# argument is the time per target in seconds (default 600, ten minutes).
# Builds the fuzz preset (clang) into build/fuzz/, as the test command does.
# What the fuzzers find on the way is kept in
# build/fuzz/tests/fuzz/corpus/<target>/; an input that breaks a property is
# written beside it as crash-*. JOBS sets how many targets run at once
# (default: the number of processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-600}
jobs=${JOBS:-$(nproc)}

bash scripts/install-deps.sh
cmake --preset fuzz -DCARDPUSH_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build --preset fuzz --parallel "$jobs"
ctest --preset fuzz --parallel "$jobs"
