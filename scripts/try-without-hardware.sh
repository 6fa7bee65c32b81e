#!/usr/bin/env bash
# Starts the application with a virtual joystick and virtual pedals, for trying
# it without controllers (Linux, desktop session). Installs what is missing and
# builds first; the virtual controllers come from the test suite, so this builds
# in the test build folder. Arguments, if any, name another program to start.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/deps.sh" --tests
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORKAST_BUILD_TESTS=ON
cmake --build "$root/build" --parallel --target vorkast-virtual-hardware
exec "$root/build/tools/vorkast-virtual-hardware" "$@"
