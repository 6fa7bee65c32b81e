#!/usr/bin/env bash
# Cross-builds the Windows release from Linux and tests it under wine:
#   1. installs the toolchain (mingw-w64, wine, NSIS, Xvfb) and Debian's sources;
#   2. builds Qt (qtbase) and libusb for x86_64-w64-mingw32 into a cache folder
#      outside the checkout (VORKAST_CACHE, default ~/.cache/vorkast), reused
#      while the version and options stay the same;
#   3. cross-builds the application, the tools and the tests (build-windows/);
#   4. assembles dist/vorkast-settings-<version>-windows-x64.zip and the
#      installer dist/vorkast-settings-<version>-windows-x64-setup.exe;
#   5. runs the tests under wine: the window tests against virtual controllers
#      on an emulated bus hosted by the Linux build's vorkast-wine-bus (build/),
#      their requests through wine's own HID stack; the HID route and the
#      packaged program the same way (tst_winehid of the Linux build, driving
#      the cross-built probes); the packaged executable's smoke test and the
#      installer's DCS set-up test.
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

# Messages go to standard error: standard output is kept for what a function
# hands back to a caller that captures it.
log() { printf '== %s\n' "$*" >&2; }

# --- 1. Packages and sources -------------------------------------------------
host_packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
               g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
               wine wine64 xvfb xauth nsis zip unzip dpkg-dev autoconf automake libtool
               libusb-1.0-0-dev libhidapi-dev libudev-dev umockdev libumockdev-dev)
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
    # shellcheck disable=SC2016 # $(CREATED_BY) is apt's placeholder, not the shell's
    if apt-get indextargets --format '$(CREATED_BY)' 2>/dev/null | grep -qx Sources; then
        return
    fi
    local list=/etc/apt/sources.list.d/vorkast-deb-src.sources
    log "Adding deb-src entries ($list)"
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        # The same archives, suites and keys as the binary packages.
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            | $sudo tee "$list" >/dev/null
    else
        local codename
        codename="$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)"
        $sudo tee "$list" >/dev/null <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename $codename-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: $codename-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    fi
    $sudo apt-get update >&2
}

# Unpacks Debian's source of $1 (optionally =version) into $2, patches applied,
# and prints the folder.
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
qt_upstream="${qt_host_version#*:}"
qt_prefix="$cache/qt-${qt_upstream%%[+-]*}-$(cache_key "$qt_host_version" "${qt_configure[@]}")"

if [[ ! -f "$qt_prefix/.complete" ]]; then
    # The host's moc, uic and rcc serve the cross build, so the source must be theirs.
    log "Building Qt $qt_host_version for Windows into $qt_prefix (about 20 minutes)"
    work="$cache/work/qt"
    src="$(fetch_source "qt6-base=$qt_host_version" "$work")"
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
libusb_upstream="${libusb_version#*:}"  # no epoch: ':' cannot be in a Windows path
libusb_prefix="$cache/libusb-${libusb_upstream%%-*}-$(cache_key "$libusb_version" "${libusb_configure[@]}")"
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

# --- 3. The application, the tools and the tests -----------------------------
build="$root/build-windows"
runtime_dlls=()
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    runtime_dlls+=("$(realpath "$("$triple-g++-posix" -print-file-name="$dll")")")
done

# The Windows build's tests under wine meet controllers on an emulated bus that
# Linux programs host: built first, in the build folder scripts/test.sh uses.
if [[ $run_tests -eq 1 ]]; then
    log "Building the Linux hosts of the emulated bus into $root/build"
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DVORKAST_BUILD_TESTS=ON >/dev/null
    cmake --build "$root/build" --parallel "$jobs" --target vorkast-wine-bus tst_winehid
fi
bus_template="$build/wine-bus-template"

log "Cross-building into $build"
mkdir -p "$build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt_prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$toolchain_file" \
    -DVORKAST_WINDOWS_PREFIXES="$qt_prefix;$libusb_prefix" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
    -DVORKAST_BUILD_TESTS=ON -DVORKAST_BUILD_BENCH=OFF \
    -DVORKAST_WINE_BUS_HOST="$root/build/tests/support/vorkast-wine-bus" \
    -DVORKAST_WINE_BUS_TEMPLATE="$bus_template" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$root/tests/support/wine-run.sh" >"$build/configure.log" \
    || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --parallel "$jobs"

# --- 4. Zip and installer ------------------------------------------------------
version="$(sed -n 's/^project(vorkast-settings VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
name="vorkast-settings-$version-windows-x64"
stage="$build/stage/$name"
dist="$root/dist"
log "Assembling $dist/$name.zip"
rm -rf "$stage" && mkdir -p "$stage/platforms" "$stage/styles" "$stage/licenses" "$dist"
# Qt puts a Windows build's programs at the top of the build folder.
cp "$(find "$build" -maxdepth 2 -name vorkast-settings.exe -print -quit)" "$stage/"
for module in Core Gui Widgets Network; do
    cp "$qt_prefix/bin/Qt6$module.dll" "$stage/"
done
cp "$qt_prefix/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt_prefix/plugins/styles/"*.dll "$stage/styles/"
cp "$libusb_prefix/bin/libusb-1.0.dll" "$stage/"
cp "${runtime_dlls[@]}" "$stage/"
cp "$root/integrations/dcs/VorkastExport.lua" "$stage/"
cp "$root/packaging/windows/README-Windows.txt" "$stage/"
cp "$qt_prefix/LICENSES/"* "$stage/licenses/" 2>/dev/null || true
for text in "$qt_prefix/"*.txt; do cp "$text" "$stage/licenses/Qt-$(basename "$text")"; done
cp "$libusb_prefix/COPYING" "$stage/licenses/libusb-COPYING.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/gcc-runtime-copyright.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/mingw-w64-copyright.txt"
find "$stage" \( -name '*.dll' -o -name '*.exe' \) -exec "$triple-strip" --strip-unneeded {} +

# Every DLL a shipped binary imports is shipped, or is part of Windows.
missing_dlls="$(find "$stage" \( -name '*.dll' -o -name '*.exe' \) -exec "$triple-objdump" -p {} + \
    | sed -n 's/^\s*DLL Name: //p' | sort -u | while read -r dll; do
        [[ -e "$stage/$dll" ]] && continue
        [[ "${dll,,}" == api-ms-win-* || "${dll,,}" == ext-ms-* ]] && continue  # API sets
        [[ -e "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/${dll,,}" ]] && continue
        echo "$dll"
    done)"
if [[ -n "$missing_dlls" ]]; then
    echo "Shipped binaries need DLLs that are not shipped: $missing_dlls" >&2
    exit 1
fi

rm -f "$dist/$name.zip"
(cd "$build/stage" && zip -q -9 -r "$dist/$name.zip" "$name")
log "Building the installer $dist/$name-setup.exe"
makensis -V2 -DVERSION="$version" -DSTAGE="$stage" -DOUTFILE="$dist/$name-setup.exe" \
    "$root/packaging/windows/installer.nsi"

[[ $run_tests -eq 1 ]] || exit 0

# --- 5. Tests under wine -------------------------------------------------------
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
export WINEPREFIX="$build/wine-prefix"
to_windows_path() { printf 'Z:%s' "${1//\//\\}"; }
winepath_dirs=("$qt_prefix/bin" "$libusb_prefix/bin")
for dll in "${runtime_dlls[@]}"; do winepath_dirs+=("$(dirname "$dll")"); done
WINEPATH="$(for dir in "${winepath_dirs[@]}"; do to_windows_path "$dir"; printf ';'; done)"
export WINEPATH

rm -rf "$WINEPREFIX" "$bus_template"
log "Tests under wine (prefix $WINEPREFIX)"
# shellcheck disable=SC2016 # the inner script takes its values as arguments
xvfb-run -a -s "-screen 0 1280x1024x24" bash -euo pipefail -c '
    wineboot -i >/dev/null 2>&1
    # The window tests each copy this prefix into a session on a bus of their
    # own (vorkast-wine-bus); winebus there takes hidraw nodes from udev, not SDL.
    WINEPREFIX="$5" wineboot -i >/dev/null 2>&1
    WINEPREFIX="$5" wine reg add "HKLM\System\CurrentControlSet\Services\winebus" \
        /v "Enable SDL" /t REG_DWORD /d 0 /f >/dev/null
    WINEPREFIX="$5" wineserver -k || true
    WINEPREFIX="$5" wineserver -w
    ctest --test-dir "$1" --output-on-failure --parallel "$2"
    # The package on its own: no Qt or runtime DLLs from the search path.
    WINEPATH= "$3/tests/packaging/windows/smoke.sh" "$4" "$1/tests/packaging/windows/vorkastprobe.dll"
    wineserver -k || true
' _ "$build" "$jobs" "$root" "$dist/$name.zip" "$bus_template"
# The HID route and the packaged program through wine's HID stack, driven from Linux.
log "The HID route under wine, against virtual controllers"
VORKAST_WINE_PROBE="$(find "$build" -name winehidprobe.exe -print -quit)" \
    VORKAST_WINE_PACKAGE="$stage" VORKAST_WINE_WINDOW_PROBE="$build/tests/packaging/windows/vorkastprobe.dll" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/tests/device/tst_winehid"
"$root/tests/packaging/windows/test_installer.sh" "$dist/$name-setup.exe"
log "Windows build and tests passed: $dist/$name.zip, $dist/$name-setup.exe"
