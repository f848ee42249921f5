#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own tree (build-fuzz; ASan + UBSan) and runs each target
# that has a seed corpus in tests/fuzz/corpus/<name>/ for a bounded number of inputs with a fixed seed.
# New inputs go to build-fuzz/fuzz-work/<name>/, so the committed corpus stays as it is. A failing input is
# left in build-fuzz/fuzz-artifacts/: copy it into tests/fixtures/fuzz/<name>/, where the regular tests
# replay it, and fix the cause.
#   ORVEL_FUZZ_RUNS   inputs per target (default 400)
#   extra arguments   passed to every target (e.g. -max_total_time=600 -runs=-1 for a long local run)
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_dir="${ORVEL_FUZZ_DIR:-$root/build-fuzz}"
runs="${ORVEL_FUZZ_RUNS:-400}"
configure -DORVEL_FUZZ=ON -DORVEL_TESTS=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++

targets=()
for corpus in "$root"/tests/fuzz/corpus/*/; do
  targets+=("$(basename "$corpus")")
done
cmake --build "$build_dir" -j "$jobs" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build_dir/fuzz-artifacts"
for name in "${targets[@]}"; do
  work="$build_dir/fuzz-work/$name"
  rm -rf "$work"
  mkdir -p "$work"
  echo "fuzz_$name: $runs inputs from tests/fuzz/corpus/$name"
  "$build_dir/tests/fuzz/fuzz_$name" -runs="$runs" -seed=1 -max_len=4096 -timeout=60 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$build_dir/fuzz-artifacts/$name-" "$work" "$root/tests/fuzz/corpus/$name" "$@" \
    2>"$build_dir/fuzz-$name.log" || { tail -n 60 "$build_dir/fuzz-$name.log"; exit 1; }
  grep -E "^stat::(number_of_executed_units|new_units_added|peak_rss_mb)" "$build_dir/fuzz-$name.log" || true
done
