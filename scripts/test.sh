#!/usr/bin/env bash
# Builds everything and runs the whole test suite.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

configure
cmake --build "$build_dir" -j "$jobs"
xvfb-run -a -s '-screen 0 1280x800x24' \
  ctest --test-dir "$build_dir" --output-on-failure --no-tests=error -j "$jobs"
