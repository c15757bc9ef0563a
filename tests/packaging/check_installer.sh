#!/usr/bin/env bash
# Builds the Windows installer from a build folder and takes it round under Wine as an
# administrator would: a silent install, the same again, one refused where it would overwrite a
# user's file, one into a folder holding a user's song, then the quiet uninstall that the entry in
# Apps & features names. Under Wine an exit status proves nothing: the files, the shortcut and the
# registry are looked at after each step.
# Usage: check_installer.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/package.sh"
make_package NSIS64 "$1" 'pellorin-*-setup.exe'
config=$1/CPackConfig.cmake
setting() { sed -n "s/^set($1 \"\(.*\)\")$/\1/p" "$config"; }
display_version=$(setting CPACK_PELLORIN_DISPLAY_VERSION)
IFS=. read -r major minor _ revision <<<"$(setting CPACK_PACKAGE_VERSION)"

# A prefix and a home of the test's own: Wine links the prefix user's folders to $HOME.
export WINEPREFIX=$work/prefix HOME=$work/home WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$HOME"
# Every process of this prefix, the Wine server included, carries this mark in its environment.
wine() { PELLORIN_INSTALLER_TEST=$work /usr/lib/wine/wine64 "$@"; }
# Waits until none is left: an uninstaller returns at once and works from a copy of itself, and
# the server writes the registry out as it ends. (wineserver -w alone once returned while an
# installer still ran.)
settle() {
  local deadline=$((SECONDS + 120))
  while grep -qsxzF "PELLORIN_INSTALLER_TEST=$work" /proc/[0-9]*/environ; do
    ((SECONDS < deadline)) || { echo "Wine still runs after 120 s"; exit 1; }
    sleep 0.2
  done
}
trap 'PELLORIN_INSTALLER_TEST=$work /usr/lib/wine/wineserver -k 2>/dev/null || true; settle; rm -rf "$work"' EXIT
wine wineboot --init >/dev/null 2>&1 || true
settle
drive_c=$WINEPREFIX/drive_c
cp "$package" "$drive_c/setup.exe"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# Runs a Windows command to its end.
windows() {
  wine "$@" >/dev/null 2>&1 || true
  settle
}
# What a Windows path is on this side: C:\My Music is $drive_c/My Music.
unix_path() {
  local path=${1#C:\\}
  echo "$drive_c/${path//\\//}"
}
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry() { wine reg query "$uninstall_key\\Pellorin" 2>/dev/null | tr -d '\r' || true; }
value() { entry | sed -n "s/^    $1    //p"; }
shortcuts() { find "$drive_c" -iname '*pellorin*.lnk'; }

expect_installed() {
  local folder=$1 where
  where=$(unix_path "$folder")
  for file in Pellorin.exe pellorin-move.exe LICENSE.txt Uninstall.exe; do
    [[ -f $where/$file ]] || fail "$folder: $file is missing"
  done
  local expected=(
    "DisplayName    REG_SZ    Pellorin"
    "DisplayVersion    REG_SZ    $display_version"
    "Publisher    REG_SZ    Pellorin Project"
    "DisplayIcon    REG_SZ    $folder\\Pellorin.exe,0"
    "InstallLocation    REG_SZ    $folder"
    "UninstallString    REG_SZ    \"$folder\\Uninstall.exe\""
    "QuietUninstallString    REG_SZ    \"$folder\\Uninstall.exe\" /S"
    "NoModify    REG_DWORD    0x1"
    "NoRepair    REG_DWORD    0x1")
  local found
  found=$(entry)
  for line in "${expected[@]}"; do
    grep -qxF "    $line" <<<"$found" || fail "$folder: the entry lacks: $line"
  done
  # The size in KiB of what was installed, give or take the uninstaller.
  local size installed
  size=$(($(value 'EstimatedSize    REG_DWORD')))
  installed=$(($(cat "$where"/Pellorin.exe "$where"/pellorin-move.exe | wc -c) / 1024))
  ((size >= installed && size <= installed + 256)) ||
    fail "EstimatedSize is $size KiB for $installed KiB of programs"
  local entries
  entries=$(wine reg query "$uninstall_key" /s 2>/dev/null | grep -c 'DisplayName    REG_SZ    Pellorin' || true)
  [[ $entries == 1 ]] || fail "$entries entries in Apps & features"
  local links
  links=$(shortcuts)
  [[ $links == "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pellorin.lnk" ]] ||
    fail "the shortcuts are: $links"
  strings -a "$links" 2>/dev/null | grep -qxF "$folder\\Pellorin.exe" ||
    fail "the shortcut does not start $folder\\Pellorin.exe"
  local version
  version=$(wine "$folder\\pellorin-move.exe" --version 2>/dev/null | tr -d '\r')
  [[ $version == "pellorin-move $major.$minor.$revision" ]] ||
    fail "the installed pellorin-move says: $version"
}

echo "== the installer's own version resource"
resource=$(strings -a -el "$drive_c/setup.exe")
for pair in "ProductName:Pellorin" "ProductVersion:$display_version" \
  "FileVersion:$display_version"; do
  grep -A1 -xF "${pair%%:*}" <<<"$resource" | grep -qxF "${pair#*:}" || fail "setup.exe lacks $pair"
done

echo "== a silent install, then the same again"
for _ in first again; do
  windows 'C:\setup.exe' /S
  expect_installed 'C:\Program Files\Pellorin'
done

echo "== not into a folder where it would replace a user's file"
mkdir -p "$drive_c/Tools" "$drive_c/My Music"
echo "the user's own" >"$drive_c/Tools/LICENSE.txt"
echo "a song" >"$drive_c/My Music/Artist - Song.mp3"
windows cmd /c 'C:\setup.exe /S /D=C:\Tools'
[[ $(ls "$drive_c/Tools") == LICENSE.txt && $(cat "$drive_c/Tools/LICENSE.txt") == "the user's own" ]] ||
  fail "C:\\Tools was changed: $(ls "$drive_c/Tools")"
expect_installed 'C:\Program Files\Pellorin'

echo "== into a folder holding a song, with a blank in its name: the installation moves there"
windows cmd /c 'C:\setup.exe /S /D=C:\My Music'
expect_installed 'C:\My Music'
[[ ! -e "$drive_c/Program Files/Pellorin" ]] || fail "the earlier installation is still there"

echo "== the quiet uninstall, as the entry says it"
quiet=$(value 'QuietUninstallString    REG_SZ')
program=$(sed -n 's/^"\([^"]*\)".*/\1/p' <<<"$quiet")
read -r -a arguments <<<"$(sed -n 's/^"[^"]*" *//p' <<<"$quiet")"
windows "$program" "${arguments[@]}"
[[ $(ls "$drive_c/My Music") == "Artist - Song.mp3" ]] ||
  fail "C:\\My Music holds: $(ls "$drive_c/My Music")"
[[ $(cat "$drive_c/My Music/Artist - Song.mp3") == "a song" ]] || fail "the song was changed"
left=$(find "$drive_c" -iname '*pellorin*' -o -iname 'Uninstall.exe' -path '*My Music*')
[[ -z $left ]] || fail "left behind: $left"
keys=$(grep -i pellorin "$WINEPREFIX"/*.reg || true)
[[ -z $keys ]] || fail "left in the registry: $keys"

((failures == 0)) && echo "the installer's round trip holds"
exit $failures
