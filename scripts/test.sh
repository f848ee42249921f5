#!/usr/bin/env bash
# Builds everything and runs the whole test suite, in three stages:
#   main   the Release tree (build/): every test
#   asan   the same suite again under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)
#   fuzz   every fuzz target for a bounded number of inputs from its seed corpus (build-fuzz/, clang)
# ORVEL_TEST_STAGES picks stages for a quicker local run (e.g. ORVEL_TEST_STAGES=main); CI runs all three.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

stages="${ORVEL_TEST_STAGES:-main asan fuzz}"
passed=0
started=$SECONDS

# Runs ctest in a tree under a virtual display and adds its count to the total.
run_ctest() {
  local log="$1/ctest-summary.log"
  xvfb-run -a -s '-screen 0 1280x800x24' \
    ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$jobs" | tee "$log"
  passed=$((passed + $(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)))
}

stage_done() { echo "== $1 stage done after $((SECONDS - started)) s"; }

if [[ " $stages " == *" main "* ]]; then
  configure
  cmake --build "$build_dir" -j "$jobs"
  run_ctest "$build_dir"
  stage_done main
fi

if [[ " $stages " == *" asan "* ]]; then
  build_dir="${ORVEL_ASAN_DIR:-$root/build-asan}"
  configure -DORVEL_SANITIZE=address
  cmake --build "$build_dir" -j "$jobs"
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$root/tests/sanitizers/lsan.supp:print_suppressions=0"
  run_ctest "$build_dir"
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
  stage_done asan
fi

if [[ " $stages " == *" fuzz "* ]]; then
  "$root/scripts/fuzz.sh"
  passed=$((passed + $(ls -d "$root"/tests/fuzz/corpus/*/ | wc -l)))
  stage_done fuzz
fi

echo "total: $passed passed, 0 failed"
