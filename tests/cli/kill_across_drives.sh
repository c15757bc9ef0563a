#!/usr/bin/env bash
# Kills pellorin-move.exe under Wine with SIGKILL while it moves large songs from C: to another
# drive (X:, a folder on /dev/shm, another device), at chosen moments, as a crash or Task Manager
# would. Afterwards every song must be whole under a real name, in its folder or still where it
# was, nothing partial under a real name, and a second run must leave no temporary of ours and
# file or report every song; an undo killed the same way and run again puts every song back once.
# Songs are made durable a group at a time (published together, then their sources removed) while
# the next group is copied, so a kill may leave the songs of the group being made durable in both
# places, and no others: in the run's order, the songs filed come first, then those in both places,
# then those only where they were.
# Usage: kill_across_drives.sh BUILD_DIR
set -euo pipefail
export LC_ALL=C
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
wine_run=$here/../../cmake/wine-run.sh
program=$build/cli/pellorin-move.exe
prefix=$build/wineprefix-kill  # our own, so that wineserver -w waits for this test's runs only
wineserver=/usr/lib/wine/wineserver
[[ -x $wineserver ]] || wineserver=$(command -v wineserver)
export WINEPREFIX=$prefix WINEDEBUG=-all

songs=9
song_size=$((64 << 20))
artists=(Alpha Beta Gamma)
delays=(0.05 0.3)  # seconds after the first artist folder appears: during copies

work=$(mktemp -d /dev/shm/pellorin-kill-work-XXXXXX)
drive=$(mktemp -d /dev/shm/pellorin-kill-XXXXXX)
cleanup() { rm -rf "$work" "$drive" "$prefix/drive_c/pellorin-kill"; }
trap cleanup EXIT

"$wine_run" "$prefix" "$program" --version >/dev/null  # makes the prefix on first use
ln -sfn "$drive" "$prefix/dosdevices/x:"
source_dir=$prefix/drive_c/pellorin-kill
root=$drive/root
head -c "$song_size" /dev/urandom >"$work/blob"

name_of() { echo "${artists[$(($1 % ${#artists[@]}))]} - Song $1.mp3"; }
artist_of() { echo "${artists[$(($1 % ${#artists[@]}))]}"; }
content_of() { printf '%s\n' "$1"; cat "$work/blob"; }
# Each song is its name on a line, then the blob: both compared byte for byte.
whole() { [[ $(head -n 1 "$2") == "$1" ]] && cmp -s -i "$((${#1} + 1)):0" "$2" "$work/blob"; }

prepare() {
  rm -rf "$source_dir" "$root"
  mkdir -p "$source_dir" "$root"
  for ((i = 0; i < songs; i++)); do content_of "$(name_of $i)" >"$source_dir/$(name_of $i)"; done
}

start_run() {
  "$wine_run" "$prefix" "$program" --no-ask 'C:\pellorin-kill\*.mp3' 'X:\root' >"$work/log" 2>&1 &
  run=$!
}

# Waits until pattern (a glob, dot files excluded) matches something, while the run lives.
wait_for() {
  shopt -s nullglob
  local found=() deadline=$((SECONDS + 60))
  while ((SECONDS < deadline)); do
    # shellcheck disable=SC2206
    found=($1)
    ((${#found[@]} == 0)) || return 0
    kill -0 "$run" 2>/dev/null || return 1
  done
  return 1
}

kill_run() {
  kill -KILL "$run" 2>/dev/null || true
  wait "$run" 2>/dev/null || true
  "$wineserver" -w
}

own_files() { find "$source_dir" "$root" -name '.pellorin-*' | wc -l; }

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Every file under a real name is a whole song; every song is somewhere. Sets $duplicates.
check_songs() {
  local stage=$1 i name copies
  duplicates=0
  while IFS= read -r -d '' file; do
    local base=${file##*/}
    [[ $base == .pellorin-* ]] && continue
    whole "$base" "$file" || fail "$stage: $file is not the whole song"
  done < <(find "$source_dir" "$root" -type f -print0)
  for ((i = 0; i < songs; i++)); do
    name=$(name_of $i)
    copies=0
    [[ -f $source_dir/$name ]] && copies=$((copies + 1))
    [[ -f $root/$(artist_of $i)/$name ]] && copies=$((copies + 1))
    ((copies > 0)) || fail "$stage: $name is lost"
    ((copies == 2)) && duplicates=$((duplicates + 1))
  done
  return 0
}

# After a kill, in the run's order: the songs filed, then those in both places (the group being
# made durable), then those only where they were, never another order.
check_order() {
  local stage=$1 i name place latest=0 latest_name=
  local -a places=(filed "in both places" "only where it was")
  while IFS= read -r i; do
    name=$(name_of "$i")
    place=0
    [[ -f $source_dir/$name ]] && place=2
    [[ $place == 2 && -f $root/$(artist_of "$i")/$name ]] && place=1
    ((place >= latest)) ||
      fail "$stage: $name is ${places[place]}, after $latest_name, ${places[latest]}"
    latest=$place latest_name=$name
  done < <(for ((i = 0; i < songs; i++)); do echo "$(name_of $i)|$i"; done | sort | cut -d'|' -f2)
}

# The second run: nothing of ours left, every song filed or its failure in the log.
check_second_run() {
  local stage=$1 i name
  start_run
  wait "$run" || true
  check_songs "$stage"
  (($(own_files) == 0)) || fail "$stage: temporaries left: $(find "$source_dir" "$root" -name '.pellorin-*')"
  for ((i = 0; i < songs; i++)); do
    name=$(name_of $i)
    if [[ -f $source_dir/$name ]] && ! grep -qF "Error moving File \"$name\"" "$work/log"; then
      fail "$stage: $name was neither filed nor reported"
    fi
  done
}

report() {
  local stage=$1 left=$2
  local filed
  filed=$(find "$root" -mindepth 2 -name '*.mp3' -not -name '.*' | wc -l)
  echo "$stage: $filed of $songs filed, $duplicates in two places, $left temporaries left by the kill"
}

kill_after_first_folder() {
  local delay=$1
  prepare
  start_run
  wait_for "$root/*/" || { fail "delay $delay: the run made no folder"; return; }
  sleep "$delay"
  kill_run
  check_songs "killed ${delay} s after the first folder"
  check_order "killed ${delay} s after the first folder"
  report "killed ${delay} s after the first folder" "$(own_files)"
  check_second_run "second run after the kill at ${delay} s"
}

# As near as a watcher can come to the moment between a group's publication and the removal of
# its sources.
kill_at_first_song() {
  prepare
  start_run
  wait_for "$root/*/*.mp3" || { fail "the run filed no song"; return; }
  kill_run
  check_songs "killed as the first song appeared"
  check_order "killed as the first song appeared"
  report "killed as the first song appeared" "$(own_files)"
  check_second_run "second run after the kill at the first song"
}

# The undo of a whole run, killed as its first song is back where it was, then run again: every
# song back once, whole, and nothing left in the root.
kill_undo_at_first_song() {
  local i
  prepare
  start_run
  wait "$run" || true
  "$wine_run" "$prefix" "$program" --undo >"$work/log" 2>&1 &
  run=$!
  wait_for "$source_dir/*.mp3" || { fail "the undo put back no song"; return; }
  kill_run
  check_songs "undo killed as the first song came back"
  report "undo killed as the first song came back" "$(own_files)"
  "$wine_run" "$prefix" "$program" --undo >"$work/log" 2>&1 || fail "resumed undo: $(cat "$work/log")"
  check_songs "resumed undo"
  for ((i = 0; i < songs; i++)); do
    [[ -f $source_dir/$(name_of $i) ]] || fail "resumed undo: $(name_of $i) is not back"
  done
  ((duplicates == 0)) || fail "resumed undo: $duplicates songs in two places"
  [[ -z $(ls -A "$root") ]] || fail "resumed undo: left in the root: $(ls -A "$root")"
}

for delay in "${delays[@]}"; do kill_after_first_folder "$delay"; done
kill_at_first_song
kill_undo_at_first_song

if ((failures > 0)); then
  echo "$failures failures"
  exit 1
fi
echo "every song whole under a real name after every kill; nothing left after each second run"
