#!/usr/bin/env bash
# Runs the README's run command as a new user types it, on the build scripts/test.sh just made:
# without a display (the window program's own line, no shell error), under Xvfb (the window
# opens and closes on Alt+C, within a minute), and with PATTERN ROOT (a song is filed).
set -uo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME CONDITION-STATUS DETAILS
  if (( $2 == 0 )); then passed=$((passed + 1)); echo "ok: $1"
  else failed=$((failed + 1)); echo "FAILED: $1"; cat "$3"; fi
}

env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM scripts/run.sh >"$work/out" 2>&1
status=$?
(( status != 0 )) && grep -q '^pellorin: no display found' "$work/out" &&
  ! grep -q 'No such file' "$work/out"
check "without a display: one line, status $status" $? "$work/out"

timeout 60 xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  scripts/run.sh & program=$!
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name "^Pellorin$" 2>/dev/null | head -n 1)
    [[ -n $window ]] && break
    sleep 0.1
  done
  [[ -n $window ]] || { echo "no window titled Pellorin"; kill $program; exit 1; }
  xdotool windowfocus --sync "$window" key alt+c
  wait $program' >"$work/out" 2>&1
check "under Xvfb: the window opens and closes" $? "$work/out"

mkdir -p "$work/in" "$work/root"
echo song >"$work/in/Band - Song.mp3"
XDG_STATE_HOME=$work/state scripts/run.sh "$work/in/*.mp3" "$work/root" >"$work/out" 2>&1 &&
  [[ -f "$work/root/Band/Band - Song.mp3" && ! -e "$work/in/Band - Song.mp3" ]] &&
  grep -qx '1files(s) moved.' "$work/out"
check "PATTERN ROOT: the song is filed" $? "$work/out"

echo "run command smoke: $passed passed, $failed failed"
(( failed == 0 ))
