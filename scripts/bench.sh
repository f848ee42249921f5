#!/usr/bin/env bash
# Builds the benchmark program in its own tree (build-bench, Release, -DORVEL_BENCHMARKS=ON), runs it and
# prints one table: per case ns/hop, real-time factor and the ratio to an FFTW transform pair, then the
# set-up times, the heap per instance and the project's goals. Extra arguments go to the benchmark program
# (for example --benchmark_filter=engine/); run build-bench/benchmarks/orvel_bench without --table-only to
# see every run.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_dir="${ORVEL_BENCH_DIR:-$root/build-bench}"
configure -DORVEL_BENCHMARKS=ON -DORVEL_TESTS=OFF
cmake --build "$build_dir" -j "$jobs" --target orvel_bench

"$build_dir/benchmarks/orvel_bench" --table-only --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.2 "$@"
