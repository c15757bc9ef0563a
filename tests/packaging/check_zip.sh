#!/usr/bin/env bash
# Builds the Windows ZIP from a build folder and checks what a Windows user unpacks: both
# programs at its top, and nothing else that they would need.
# Usage: check_zip.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; exit 1; }
zip=$(find "$work" -maxdepth 1 -name 'pellorin-*.zip' | head -n 1)
[[ -n $zip ]] || { echo "no ZIP was made"; cat "$work/cpack.log"; exit 1; }

contents=$(cd "$work" && cmake -E tar tf "$zip")
echo "$contents"
top=$(basename "$zip" .zip)
failures=0
for program in Pellorin.exe pellorin-move.exe; do
  grep -qx "$top/$program" <<<"$contents" || { echo "missing: $program"; failures=$((failures + 1)); }
done
others=$(grep -v -x -e "$top/Pellorin.exe" -e "$top/pellorin-move.exe" -e "$top/" <<<"$contents" || true)
[[ -z $others ]] || { echo "unexpected: $others"; failures=$((failures + 1)); }
exit $failures
