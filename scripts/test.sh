#!/usr/bin/env bash
# Installs what is missing, checks the shell scripts with shellcheck, builds
# everything and runs the whole test suite: once as built normally, once more
# under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan), then
# every fuzz target for VORKAST_FUZZ_SECONDS (default 30) each (build-fuzz,
# clang), then the Windows build with its tests under wine
# (scripts/build-windows.sh; the first run also builds Qt for Windows, about 25
# minutes, cached in ~/.cache/vorkast). Arguments go to the Linux runs of ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh --tests

# Every tracked file that starts as a shell script (.ci/run and packaging/postinst
# have no .sh to go by).
shell_scripts=()
while IFS= read -r -d '' file; do
    if head -n1 "$file" | grep -qE '^#!.*\b(ba)?sh\b'; then shell_scripts+=("$file"); fi
done < <(git ls-files -z)
shellcheck "${shell_scripts[@]}"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORKAST_BUILD_TESTS=ON \
    -DVORKAST_BUILD_BENCH=ON
cmake --build build --parallel
ctest --test-dir build --output-on-failure --parallel 2 "$@"

# Debug: the quickest to compile; the sanitizers check as much at -O0.
# The benchmarks' smoke runs are left to the normal build.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVORKAST_BUILD_TESTS=ON \
    -DVORKAST_SANITIZE=ON -DVORKAST_BUILD_BENCH=OFF
cmake --build build-asan --parallel
ctest --test-dir build-asan --output-on-failure --parallel 2 "$@"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++-14 -DVORKAST_BUILD_TESTS=OFF -DVORKAST_FUZZ=ON
cmake --build build-fuzz --target fuzzers --parallel
fuzz/run.sh -d build-fuzz -t "${VORKAST_FUZZ_SECONDS:-30}" -j 2

scripts/build-windows.sh
