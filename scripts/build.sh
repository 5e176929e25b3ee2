#!/usr/bin/env bash
# Configures and builds one preset of CMakePresets.json into build/<preset>/.
#
#   scripts/build.sh [preset [target...]]
#
# The preset defaults to dev; the targets to those of the preset's build
# preset (all, for most). JOBS sets the parallel jobs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
preset=${1:-dev}
shift || true

cmake --preset "$preset" >/dev/null
args=(--preset "$preset")
if [ -n "${JOBS:-}" ]; then
  args+=(--parallel "$JOBS")
fi
if [ $# -gt 0 ]; then
  args+=(--target "$@")
fi
cmake --build "${args[@]}"
