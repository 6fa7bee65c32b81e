#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build needs; with --tests also those
# the test suite needs. Quick no-op when everything is already there.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
          libgl-dev libusb-1.0-0-dev libhidapi-dev libudev-dev)
if [[ "${1:-}" == "--tests" ]]; then
    packages+=(umockdev libumockdev-dev lua5.1 lua-socket locales desktop-file-utils dpkg-dev
               clang-14 libclang-rt-14-dev libbenchmark-dev shellcheck)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ "$(id -u)" -ne 0 ]] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
