#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it from the
# current directory (its "profiles" folder is created there).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

"$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build-app" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORKAST_BUILD_TESTS=OFF
cmake --build "$root/build-app" --parallel
exec "$root/build-app/app/vorkast-settings" "$@"
