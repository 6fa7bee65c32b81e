#!/usr/bin/env bash
# Installs, reinstalls and uninstalls the Windows setup silently under wine, in
# a fresh prefix, and checks the files, the shortcut and above all the DCS
# export set-up: Export.lua gains exactly one line and gets back every other
# byte of other tools' lines on uninstall.
#
# test_installer.sh SETUP_EXE      test a built installer
# test_installer.sh --build-dummy  build one from a dummy stage and test it
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
[[ $# -eq 1 ]] || { echo "usage: $0 SETUP_EXE | --build-dummy" >&2; exit 2; }
# Wine needs an X server for its hidden windows; one for the whole run.
if [[ -z ${VORKAST_UNDER_XVFB:-} ]]; then
    VORKAST_UNDER_XVFB=1 exec xvfb-run -a "$(realpath "$0")" "$@"
fi

work=$(mktemp -d)
# HOME too: wine links Documents to $HOME, which must not be the real one.
# TMPDIR: wineserver's socket folder goes with the rest.
export WINEPREFIX=$work/prefix HOME=$work/home TMPDIR=$work/tmp WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$HOME" "$TMPDIR"
fail() { echo "FAIL: $*" >&2; exit 1; }

if [[ $1 == --build-dummy ]]; then
    stage=$work/stage
    mkdir -p "$stage/platforms" "$stage/styles" "$stage/licenses"
    printf 'MZ dummy' >"$stage/vorkast-settings.exe"
    printf 'dll' | tee "$stage/Qt6Core.dll" "$stage/platforms/qwindows.dll" >"$stage/styles/qmodernwindowsstyle.dll"
    echo "readme" >"$stage/README-Windows.txt"
    echo "license" >"$stage/licenses/Qt.txt"
    cp "$root/integrations/dcs/VorkastExport.lua" "$stage/"
    setup=$work/vorkast-settings-0.0.0-windows-x64-setup.exe
    makensis -V2 -DVERSION=0.0.0 -DSTAGE="$stage" -DOUTFILE="$setup" "$root/packaging/windows/installer.nsi" \
        || fail "makensis"
else
    setup=$(realpath "$1")
    [[ -f $setup ]] || fail "no installer $1"
fi

run() { # wine program and arguments: waits for every process it started
    local rc=0
    wine "$@" 2>>"$work/wine.log" || rc=$?
    wineserver -w
    [[ $rc -eq 0 ]] || { tail -n 20 "$work/wine.log" >&2; fail "wine $* exited with $rc"; }
}
run wineboot --init
profile=$(winepath -u "$(wine cmd /c 'echo %USERPROFILE%' 2>>"$work/wine.log" | tr -d '\r')")
[[ -d $profile && $profile == "$WINEPREFIX"/* ]] || fail "no user profile in the prefix: '$profile'"
games="$profile/Saved Games"
dcs=$games/DCS/Scripts
beta=$games/DCS.openbeta/Scripts
programs="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs"
instdir="$WINEPREFIX/drive_c/Program Files/Vorkast System Settings"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VorkastSystemSettings'
line="pcall(dofile, require('lfs').writedir() .. [[Scripts\\VorkastExport.lua]])"

# Another tool's Export.lua: byte order mark, CRLF, non-ASCII bytes, a line
# longer than NSIS strings, and no line break at the end.
mkdir -p "$dcs" "$games/DCS.openbeta"
long=$(printf -- '-- %01200d' 0)
printf '\xef\xbb\xbf-- Tacview \xc3\xa9\r\n%s\r\nlocal lfs = require("lfs")\r\ndofile(lfs.writedir()..[[Scripts\\TacviewGameExport.lua]])' \
    "$long" >"$work/tacview.lua"
cp "$work/tacview.lua" "$dcs/Export.lua"

expect() { # FILE MESSAGE, the expected bytes on standard input
    cmp -s "$1" - || { od -c "$1" | tail -n 6 >&2; fail "$2"; }
}

run "$setup" /S
for file in vorkast-settings.exe Uninstall.exe README-Windows.txt VorkastExport.lua platforms/qwindows.dll; do
    [[ -f $instdir/$file ]] || fail "not installed: $file"
done
[[ -d $profile/Documents/Vorkast ]] || fail "no Documents\\Vorkast"
shortcut="$programs/Vorkast System Settings.lnk"
[[ -f $shortcut ]] || fail "no Start-menu shortcut"
grep -qaF 'Documents\Vorkast' <(tr -d '\0' <"$shortcut") || fail "the shortcut does not start in Documents\\Vorkast"
entry=$(wine reg query "$key" /v QuietUninstallString 2>>"$work/wine.log") || fail "no uninstall entry"
[[ $entry == *'Uninstall.exe" /S'* ]] || fail "no quiet uninstall command: $entry"
for dir in "$dcs" "$beta"; do
    cmp -s "$instdir/VorkastExport.lua" "$dir/VorkastExport.lua" || fail "no VorkastExport.lua in $dir"
done
expect "$dcs/Export.lua" "DCS Export.lua: other bytes changed, or not one export line of its own" \
    < <(cat "$work/tacview.lua"; printf '\r\n%s\r\n' "$line")
expect "$beta/Export.lua" "DCS.openbeta Export.lua was not created with the export line" < <(printf '%s\r\n' "$line")

cp "$dcs/Export.lua" "$work/dcs-installed.lua"
run "$setup" /S
cmp -s "$dcs/Export.lua" "$work/dcs-installed.lua" || fail "a second install changed DCS Export.lua"
expect "$beta/Export.lua" "a second install changed DCS.openbeta Export.lua" < <(printf '%s\r\n' "$line")

mkdir -p "$profile/Documents/Vorkast/profiles"
echo '{}' >"$profile/Documents/Vorkast/profiles/mine.json"
run "$instdir/Uninstall.exe" /S
[[ ! -e $instdir ]] || fail "left in Program Files: $(find "$instdir")"
[[ ! -e $shortcut ]] || fail "Start-menu shortcut left"
[[ -f $profile/Documents/Vorkast/profiles/mine.json ]] || fail "the user's profiles were removed"
! wine reg query "$key" >/dev/null 2>>"$work/wine.log" || fail "uninstall entry left"
cmp -s "$dcs/Export.lua" "$work/tacview.lua" || fail "DCS Export.lua differs from before the install"
[[ ! -e $beta/Export.lua ]] || fail "the created, now empty, DCS.openbeta Export.lua was left"
for dir in "$dcs" "$beta"; do
    [[ -d $dir && ! -e $dir/VorkastExport.lua ]] || fail "$dir: VorkastExport.lua left or Scripts removed"
done

# Other tools append after our line: their lines and the files stay.
run "$setup" /S
printf 'dofile("Other.lua")\r\n' >>"$dcs/Export.lua"
printf 'dofile("Other.lua")\n' >>"$beta/Export.lua"
run "$instdir/Uninstall.exe" /S
expect "$dcs/Export.lua" "DCS Export.lua: lines after the export line not kept" \
    < <(cat "$work/tacview.lua"; printf '\r\ndofile("Other.lua")\r\n')
expect "$beta/Export.lua" "DCS.openbeta Export.lua: another tool's line not kept" < <(printf 'dofile("Other.lua")\n')

echo "installer test passed"
