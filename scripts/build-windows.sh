#!/usr/bin/env bash
# Cross-builds the Windows release from Linux and tests it under wine:
#   1. installs the toolchain (mingw-w64, wine, NSIS, Xvfb) and Debian's sources;
#   2. builds Qt (qtbase) and libusb for x86_64-w64-mingw32 into a cache folder
#      outside the checkout (VORKAST_CACHE, default ~/.cache/vorkast), reused
#      while the version and options stay the same;
#   3. cross-builds the application, the tools and the tests (build-windows/);
#   4. assembles dist/vorkast-settings-<version>-windows-x64.zip and the
#      installer dist/vorkast-settings-<version>-windows-x64-setup.exe;
#   5. runs the tests that need no emulated USB bus under wine, the packaged
#      executable's smoke test and the installer's DCS set-up test.
# Options: --toolchain-only (steps 1-2), --no-tests (skip step 5).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

toolchain_only=0
run_tests=1
for arg in "$@"; do
    case "$arg" in
        --toolchain-only) toolchain_only=1 ;;
        --no-tests) run_tests=0 ;;
        *) echo "usage: $0 [--toolchain-only] [--no-tests]" >&2; exit 2 ;;
    esac
done

triple=x86_64-w64-mingw32
toolchain_file="$root/cmake/mingw-w64-x86_64.cmake"
cache="${VORKAST_CACHE:-$HOME/.cache/vorkast}"
jobs="$(nproc)"
sudo=""
[[ "$(id -u)" -ne 0 ]] && sudo="sudo"

log() { printf '== %s\n' "$*"; }

# --- 1. Packages and sources -------------------------------------------------
host_packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
               g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
               wine wine64 xvfb xauth nsis zip unzip dpkg-dev autoconf automake libtool)
missing=()
for package in "${host_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
        || missing+=("$package")
done
if [[ ${#missing[@]} -gt 0 ]]; then
    log "Installing: ${missing[*]}"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# apt-get source needs a deb-src entry for the suites the binaries come from.
ensure_deb_src() {
    if apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
        return
    fi
    local list=/etc/apt/sources.list.d/vorkast-deb-src.sources
    local suites
    suites="$(. /etc/os-release && echo "$VERSION_CODENAME $VERSION_CODENAME-updates")"
    log "Adding deb-src entries ($list)"
    $sudo tee "$list" >/dev/null <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suites
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    $sudo apt-get update
}

# Unpacks Debian's source of $1 (patches applied) into $2 and prints the folder.
fetch_source() {
    local package="$1" into="$2"
    ensure_deb_src
    rm -rf "$into" && mkdir -p "$into"
    (cd "$into" && apt-get source --only-source "$package" >&2)
    find "$into" -mindepth 1 -maxdepth 1 -type d | head -n1
}

source_version() { apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -V | tail -n1; }

# A key of everything that shapes a cached build: version, options, toolchain.
cache_key() { { printf '%s\n' "$@"; cat "$toolchain_file"; "$triple-g++-posix" --version | head -n1; } \
    | sha256sum | cut -c1-12; }

# --- 2. Qt and libusb for Windows, cached ------------------------------------
qt_host_version="$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)"
qt_configure=(-release -shared -nomake examples -nomake tests
              -no-opengl -no-dbus -no-feature-sql -no-feature-printsupport -no-feature-concurrent
              -no-feature-xml -no-feature-tabletevent
              -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -no-icu)
qt_prefix="$cache/qt-${qt_host_version%%+*}-$(cache_key "$qt_host_version" "${qt_configure[@]}")"

if [[ ! -f "$qt_prefix/.complete" ]]; then
    # The host's moc, uic and rcc serve the cross build, so the source must be theirs.
    ensure_deb_src
    qt_source_version="$(source_version qt6-base)"
    if [[ "$qt_source_version" != "$qt_host_version" ]]; then
        echo "qt6-base source $qt_source_version differs from the host tools $qt_host_version" >&2
        exit 1
    fi
    log "Building Qt $qt_host_version for Windows into $qt_prefix (about 20 minutes)"
    work="$cache/work/qt"
    src="$(fetch_source qt6-base "$work")"
    rm -rf "$qt_prefix"
    mkdir -p "$work/build"
    (cd "$work/build" && "$src/configure" -prefix "$qt_prefix" "${qt_configure[@]}" \
        -qt-host-path /usr -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain_file" \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >"$work/configure.log" 2>&1) \
        || { tail -n 60 "$work/configure.log"; exit 1; }
    cmake --build "$work/build" --parallel "$jobs"
    cmake --install "$work/build" >/dev/null
    cp "$src/LICENSES/"LGPL-3.0-only.txt "$src/LICENSES/"GPL-3.0-only.txt "$src/LICENSES/"GPL-2.0-only.txt \
        "$qt_prefix/" 2>/dev/null || cp -r "$src/LICENSES" "$qt_prefix/LICENSES"
    touch "$qt_prefix/.complete"
    rm -rf "$work"
fi
log "Qt for Windows: $qt_prefix"

libusb_version="$(source_version libusb-1.0)"
[[ -n "$libusb_version" ]] || { ensure_deb_src; libusb_version="$(source_version libusb-1.0)"; }
libusb_configure=(--host="$triple" --disable-static --enable-shared)
libusb_prefix="$cache/libusb-${libusb_version%%-*}-$(cache_key "$libusb_version" "${libusb_configure[@]}")"
if [[ ! -f "$libusb_prefix/.complete" ]]; then
    log "Building libusb $libusb_version for Windows into $libusb_prefix"
    work="$cache/work/libusb"
    src="$(fetch_source libusb-1.0 "$work")"
    rm -rf "$libusb_prefix"
    (cd "$src" && { [[ -x configure ]] || autoreconf -fi >/dev/null; } \
        && ./configure "${libusb_configure[@]}" --prefix="$libusb_prefix" \
            CC="$triple-gcc-posix" >"$work/configure.log" 2>&1 \
        && make -j"$jobs" >"$work/make.log" 2>&1 && make install >/dev/null) \
        || { tail -n 40 "$work"/*.log; exit 1; }
    cp "$src/COPYING" "$libusb_prefix/COPYING"
    touch "$libusb_prefix/.complete"
    rm -rf "$work"
fi
log "libusb for Windows: $libusb_prefix"

[[ $toolchain_only -eq 1 ]] && exit 0
