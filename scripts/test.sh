#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build,
# the whole suite again under AddressSanitizer with UndefinedBehaviorSanitizer
# and under ThreadSanitizer, a short run of every fuzz target, and the
# Windows build's tests under Wine. Each step is a function named in STEPS;
# the run stops at the first failing step.
#
# BUILD_DIR (default build/) is the normal build; the others lie beside it:
# build-asan, build-tsan, build-fuzz, build-windows. JOBS sets the parallel
# jobs (default: the number of processors), CARDPUSH_FUZZ_SECONDS the time
# each fuzz target runs (default 30).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export BUILD_DIR=${BUILD_DIR:-$root/build}
build_root=$(dirname "$BUILD_DIR")
jobs=${JOBS:-$(nproc)}
fuzz_seconds=${CARDPUSH_FUZZ_SECONDS:-30}

step_install() { bash scripts/install-deps.sh; }

step_build() { bash scripts/build.sh; }

# The window tests run on Qt's offscreen platform: no display is needed.
step_unit_tests() {
  ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$jobs"
}

# configure_and_build DIR CMAKE-OPTION...
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCARDPUSH_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" --parallel "$jobs"
}

# run_sanitized_suite DIR: the whole suite under the sanitizers DIR was built
# with. Any report fails the run, also one that did not fail its test: the
# reports of AddressSanitizer, LeakSanitizer and ThreadSanitizer are written
# to DIR/sanitizer-reports (so that those of the simulator, a child of the
# tests, are seen too), and UndefinedBehaviorSanitizer's, which go to the
# output, are looked for in the log of every test.
run_sanitized_suite() {
  local dir=$1
  local reports=$dir/sanitizer-reports
  local log=$dir/Testing/Temporary/LastTest.log
  rm -rf "$reports" "$log"
  mkdir -p "$reports"
  local status=0
  ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1" \
  LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  TSAN_OPTIONS="log_path=$reports/tsan:halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp" \
    ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" || status=$?
  local found=0
  for report in "$reports"/*; do
    [ -e "$report" ] || continue
    found=1
    echo "---- $report"
    cat "$report"
  done
  if [ -f "$log" ] && grep -E -n 'runtime error:|ERROR: (Address|Leak)Sanitizer|WARNING: ThreadSanitizer' "$log"; then
    found=1
  fi
  if [ "$found" -ne 0 ]; then
    echo "sanitizer reports: see above" >&2
    return 1
  fi
  return "$status"
}

step_asan_build() {
  configure_and_build "$build_root/build-asan" -DCARDPUSH_SANITIZE=address,undefined
}

step_asan_tests() { run_sanitized_suite "$build_root/build-asan"; }

step_tsan_build() {
  configure_and_build "$build_root/build-tsan" -DCARDPUSH_SANITIZE=thread
}

step_tsan_tests() { run_sanitized_suite "$build_root/build-tsan"; }

# The fuzz targets need clang and nothing of the windows; only they are built.
step_fuzz() {
  local dir=$build_root/build-fuzz
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCARDPUSH_FUZZ=ON -DCARDPUSH_GUI=OFF -DCARDPUSH_BENCH=OFF \
    -DCARDPUSH_FUZZ_SECONDS="$fuzz_seconds" >/dev/null
  local targets=()
  mapfile -t targets < <(ctest --test-dir "$dir" -L fuzz -N 2>/dev/null |
    sed -n 's/^ *Test *#[0-9]*: *//p')
  if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets found" >&2
    return 1
  fi
  cmake --build "$dir" --parallel "$jobs" --target "${targets[@]}"
  ctest --test-dir "$dir" -L fuzz --output-on-failure --parallel "$jobs"
}

# The Windows build: everything without Qt cross-compiled with MinGW-w64,
# its tests run under Wine (the script installs what it needs).
step_windows() {
  WINDOWS_BUILD_DIR="$build_root/build-windows" JOBS="$jobs" bash scripts/test-windows.sh
}

STEPS=(install build unit_tests asan_build asan_tests tsan_build tsan_tests fuzz windows)

for step in "${STEPS[@]}"; do
  echo "== $step"
  "step_$step"
done
echo "== all tests passed"
