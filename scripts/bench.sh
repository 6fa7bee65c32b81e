#!/usr/bin/env bash
# Builds and runs the benchmarks: the micro-benchmarks (Google Benchmark, 20
# repetitions each), then the end-to-end driver (about four minutes; --quick
# for a short, rough run). Uses the same build folder as scripts/test.sh.
# Run it on an otherwise idle machine: the figures are wall-clock times.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --tests
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORKAST_BUILD_TESTS=ON \
    -DVORKAST_BUILD_BENCH=ON
cmake --build build --parallel --target vorkast-bench-micro vorkast-bench

build/bench/vorkast-bench-micro --benchmark_repetitions=20 \
    --benchmark_report_aggregates_only=true
build/bench/vorkast-bench "$@"
