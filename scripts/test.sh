#!/usr/bin/env bash
# The test command: installs what is missing (as root, or with sudo), then
# runs every check, stopping at the first failure:
#   format   clang-format --dry-run -Werror over the project's sources
#   dev      the dev preset (AddressSanitizer, UndefinedBehaviorSanitizer,
#            assertions, warnings as errors) and every test in it
#   tsan     the tsan preset (ThreadSanitizer) and its tests that start
#            threads, use pseudo-terminals or the simulator
#   fuzz     every fuzz target for CARDPUSH_FUZZ_SECONDS (default 30) each
#   windows  the Windows cross-build's tests under Wine (scripts/test-windows.sh)
# The builds are the presets of CMakePresets.json, in build/<preset>/. The
# time of each step is printed as it ends, and all of them at the end.
#
#   scripts/test.sh [step...]   only those steps (after install)
#
# JOBS sets the parallel jobs (default: the number of processors).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
export JOBS=$jobs

step_install() { bash scripts/install-deps.sh; }

step_format() {
  git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}

# run_tests PRESET: the preset's tests. Any sanitizer report fails the run,
# also one that did not fail its test: the reports of AddressSanitizer,
# LeakSanitizer and ThreadSanitizer are files, checked by the suite itself
# (its last test, sanitizer_reports_check); UndefinedBehaviorSanitizer's go
# to the output and are looked for in the log of every test here.
run_tests() {
  local preset=$1
  local log=$root/build/$preset/Testing/Temporary/LastTest.log
  rm -f "$log"
  local status=0
  ctest --preset "$preset" --parallel "$jobs" || status=$?
  if [ -f "$log" ] &&
    grep -E -n 'runtime error:|ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer' "$log"; then
    echo "sanitizer reports: see above" >&2
    return 1
  fi
  return "$status"
}

# build_and_test PRESET: configure, build and test one preset.
build_and_test() {
  local preset=$1
  shift
  cmake --preset "$preset" "$@" >/dev/null
  cmake --build --preset "$preset" --parallel "$jobs"
  run_tests "$preset"
}

step_dev() { build_and_test dev; }

step_tsan() { build_and_test tsan; }

step_fuzz() {
  build_and_test fuzz -DCARDPUSH_FUZZ_SECONDS="${CARDPUSH_FUZZ_SECONDS:-30}"
}

step_windows() { bash scripts/test-windows.sh; }

STEPS=(format dev tsan fuzz windows)
all=1
if [ $# -gt 0 ]; then
  STEPS=("$@")
  all=0
fi

# Each step's wall time, and the processor time its commands took: a wall
# time well above the processor time over the cores tells of a busy machine.
times=()
current=
minutes() { printf '%d:%02d' $(($1 / 60)) $(($1 % 60)); }
# The processor seconds (user and system) of this shell's finished children,
# in $cpu. `times` must run in this shell itself: in a command substitution
# it would report the subshell's children, none.
times_file=$(mktemp)
cpu_seconds() {
  times >"$times_file"
  cpu=$(awk 'NR == 2 {
    split($1, u, /[ms]/); split($2, s, /[ms]/)
    printf "%d", u[1] * 60 + u[2] + s[1] * 60 + s[2] }' "$times_file")
}
print_times() {
  local line
  echo "== step times (wall, processor; min:s)"
  for line in "${times[@]}"; do
    echo "   $line"
  done
  if [ -n "$current" ]; then
    echo "   $current failed after $(minutes $((SECONDS - start)))"
  fi
  cpu_seconds
  echo "   total $(minutes "$SECONDS"), processor $(minutes "$cpu") on $(nproc) cores"
  rm -f "$times_file"
}
trap print_times EXIT

for step in install "${STEPS[@]}"; do
  if ! declare -F "step_$step" >/dev/null; then
    echo "no step $step; the steps: ${STEPS[*]}" >&2
    exit 2
  fi
  echo "== $step"
  start=$SECONDS
  cpu_seconds
  start_cpu=$cpu
  current=$step
  "step_$step"
  current=
  cpu_seconds
  took="$(minutes $((SECONDS - start))), processor $(minutes $((cpu - start_cpu)))"
  times+=("$(printf '%-8s' "$step") $took")
  echo "== $step done in $took"
done
if [ "$all" -eq 1 ]; then
  echo "== all tests passed"
else
  echo "== passed: ${STEPS[*]}"
fi
