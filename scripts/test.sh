#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. Each step is a
# function named in STEPS; later steps (sanitizer builds, fuzz runs) are
# added the same way. Stops at the first failing step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export BUILD_DIR=${BUILD_DIR:-$root/build}

step_install() { bash scripts/install-deps.sh; }

step_build() { bash scripts/build.sh; }

# The window tests run on Qt's offscreen platform: no display is needed.
step_unit_tests() {
  ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "${JOBS:-$(nproc)}"
}

STEPS=(install build unit_tests)

for step in "${STEPS[@]}"; do
  echo "== $step"
  "step_$step"
done
echo "== all tests passed"
