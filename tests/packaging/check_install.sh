#!/usr/bin/env bash
# Installs the build into a scratch root and packages it with cpack, as a user
# or a distribution would: every file lands where the desktop and udev look
# for it, and the .deb names what apt needs to install it on a clean system.
#
# check_install.sh BUILD_DIR APP_ID RULES_FILE UDEV_RULES_DIR VERSION
set -euo pipefail

build=$1 app_id=$2 rules=$3 rules_dir=$4 version=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- cmake --install ---------------------------------------------------------
root=$work/root
DESTDIR=$root cmake --install "$build" --prefix /usr >"$work/install.log" \
    || { cat "$work/install.log"; fail "cmake --install"; }

binary=$root/usr/bin/vorkast-settings
desktop=$root/usr/share/applications/$app_id.desktop
icon=$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg
installed_rules=$root$rules_dir/70-vorkast.rules

[[ -f $binary && -x $binary ]] || fail "no executable at /usr/bin/vorkast-settings"
[[ -f $desktop ]] || fail "no $app_id.desktop in /usr/share/applications"
[[ -s $icon ]] || fail "no $app_id.svg in the hicolor theme"
grep -q '<svg' "$icon" || fail "the icon is not SVG"
[[ -f $installed_rules ]] || fail "no udev rules in $rules_dir"
cmp -s "$rules" "$installed_rules" || fail "installed rules differ from $rules"

validation=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $validation"
[[ -z $validation ]] || fail "desktop-file-validate: $validation"
grep -qx 'Exec=vorkast-settings' "$desktop" || fail "Exec does not start the installed binary"
grep -qx "Icon=$app_id" "$desktop" || fail "Icon does not name the installed icon"
# The window names the same desktop file (setDesktopFileName, a UTF-16 literal,
# which strings may run together with a character-like pair of bytes before it).
strings -e l "$binary" | grep -q "${app_id//./\\.}\$" || fail "the binary does not name the desktop file $app_id"
# Test programs and helpers stay out of an installation.
if find "$root" -name 'tst_*' | grep -q .; then
    fail "test programs installed: $(find "$root" -name 'tst_*')"
fi

# --- cpack -G DEB ------------------------------------------------------------
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack -G DEB"; }
debs=("$work"/package/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single .deb: ${debs[*]}"
deb=${debs[0]}
dpkg-deb -I "$deb" >"$work/info" || fail "dpkg-deb -I cannot read the package"
cat "$work/info"

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == vorkast-settings ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version), not $version"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] || fail "Architecture: $(field Architecture)"
[[ -n $(field Maintainer) ]] || fail "no Maintainer"

depends=$(field Depends)
for needed in libqt6widgets6 libqt6network6 libusb-1.0-0 libhidapi-hidraw0 libudev1 qt6-qpa-plugins libc6 libstdc++6; do
    grep -Eq "(^|, )${needed//+/\\+}( |,|$)" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
# Every dependency is a package this system knows (a misspelt name could never install).
# shellcheck disable=SC2020 # tr: both separators become line breaks, one character each
while read -r name; do
    dpkg-query -W "$name" >/dev/null 2>&1 || fail "Depends names $name, which is no package here"
done < <(tr ',|' '\n\n' <<<"$depends" | sed -E 's/\(.*\)//; s/:any//; s/[[:space:]]//g' | grep .)

contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/vorkast-settings ./usr/share/applications/$app_id.desktop \
    ./usr/share/icons/hicolor/scalable/apps/$app_id.svg ".$rules_dir/70-vorkast.rules"; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -qx './postinst' || fail "no postinst"
mkdir "$work/control"
dpkg-deb -e "$deb" "$work/control"
sh -n "$work/control/postinst" || fail "postinst is not valid sh"
[[ -x $work/control/postinst ]] || fail "postinst is not executable"

echo "PASS: install tree and $(basename "$deb")"
