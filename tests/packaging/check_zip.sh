#!/usr/bin/env bash
# Builds the Windows ZIP from a build folder and checks what a Windows user unpacks: both
# programs and the license at its top, nothing else beside them, and no DLL that Windows does not
# bring.
# Usage: check_zip.sh BUILD_DIR
set -euo pipefail
source "$(dirname "$0")/package.sh"
make_package ZIP "$1" 'pellorin-*.zip'
zip=$package

contents=$(cd "$work" && cmake -E tar tf "$zip")
echo "$contents"
top=$(basename "$zip" .zip)
failures=0
for file in Pellorin.exe pellorin-move.exe LICENSE.txt; do
  grep -qx "$top/$file" <<<"$contents" || { echo "missing: $file"; failures=$((failures + 1)); }
done
others=$(grep -v -x -e "$top/Pellorin.exe" -e "$top/pellorin-move.exe" -e "$top/LICENSE.txt" \
  -e "$top/" <<<"$contents" || true)
[[ -z $others ]] || { echo "unexpected: $others"; failures=$((failures + 1)); }

# Each program runs on its own: it imports nothing but the system's own DLLs.
objdump=$(command -v x86_64-w64-mingw32-objdump || true)
if [[ -n $objdump ]]; then
  (cd "$work" && cmake -E tar xf "$zip")
  system='^(kernel32|user32|gdi32|comctl32|ole32|oleaut32|shell32|shlwapi|version|advapi32|msvcrt)\.dll$'
  for program in Pellorin.exe pellorin-move.exe; do
    imports=$("$objdump" -p "$work/$top/$program" | awk '/DLL Name:/ {print tolower($3)}')
    echo "$program imports:" $imports
    foreign=$(grep -Ev "$system" <<<"$imports" || true)
    [[ -z $foreign ]] || { echo "$program needs: $foreign"; failures=$((failures + 1)); }
  done
else
  echo "x86_64-w64-mingw32-objdump not found: the imports are not checked"
fi
exit $failures
