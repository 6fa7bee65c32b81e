#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --tests
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORKAST_BUILD_TESTS=ON
cmake --build build --parallel
ctest --test-dir build --output-on-failure --parallel 2 "$@"
