#!/usr/bin/env bash
# Starts Pellorin.exe in an X server as a person would, photographs the main window and the About
# dialog, closes the dialog with Enter and the program with Alt+C, and checks that it ended.
# Usage: screenshots.sh WINE_RUN PREFIX PELLORIN_EXE OUTPUT_FOLDER   (inside xvfb-run)
# Without a window manager, the X window of a Wine window is its client area: the pictures show
# no title bar, and their sizes are the client sizes.
set -euo pipefail
wine_run=$1 prefix=$2 program=$3 output=$4
mkdir -p "$output"

"$wine_run" "$prefix" "$program" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
wait_for() {  # wait_for TITLE -> window id, or fails after 30 s
  local id
  for _ in $(seq 300); do
    id=$(visible "$1") && [[ -n $id ]] && { echo "$id"; return; }
    sleep 0.1
  done
  echo "screenshots: no window '$1'" >&2
  return 1
}
photograph() {  # photograph WINDOW FILE EXPECTED_SIZE
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  sleep 1  # let it paint
  xwd -root -silent | /usr/bin/convert xwd:- -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
  [[ ${WIDTH}x${HEIGHT} == "$3" ]] || { echo "screenshots: $2 is ${WIDTH}x${HEIGHT}, not $3" >&2; return 1; }
  echo "screenshots: $2 (${WIDTH}x${HEIGHT})"
}

main=$(wait_for '^Pellorin$')

# A Move with the default texts, c:\temp\*.mp3 into c:\music\mp3, on the prefix's drive C:.
drive_c=$(realpath "$prefix")/drive_c
rm -rf "$drive_c/temp" "$drive_c/music"
mkdir -p "$drive_c/temp" "$drive_c/music/mp3"
echo music >"$drive_c/temp/Artist - Song.mp3"
echo music >"$drive_c/temp/(The Band) Live.mp3"
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 156 + 36)) $((Y + 216 + 10)) click 1  # Move
for _ in $(seq 100); do [[ -z $(ls "$drive_c/temp") ]] && break; sleep 0.1; done
for moved in "Artist/Artist - Song.mp3" "The Band/(The Band) Live.mp3"; do
  [[ -f $drive_c/music/mp3/$moved ]] || { echo "screenshots: Move did not file $moved" >&2; exit 1; }
done
photograph "$main" "$output/frmMain-win32.png" 325x248

# The About... button: 180, 3240 twips and 1095 x 315 in size, at 96 DPI.
eval "$(xdotool getwindowgeometry --shell "$main")"
xdotool mousemove $((X + 12 + 36)) $((Y + 216 + 10)) click 1
about=$(wait_for '^About Pellorin$')
photograph "$about" "$output/frmAbout-win32.png" 380x204

xdotool windowfocus --sync "$about" key Return
for _ in $(seq 100); do [[ -z $(visible '^About Pellorin$') ]] && break; sleep 0.1; done
[[ -z $(visible '^About Pellorin$') ]] || { echo "screenshots: Enter did not close About" >&2; exit 1; }

xdotool windowfocus --sync "$main" key alt+c
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "screenshots: Alt+C did not end the program" >&2; exit 1; fi
wait $pid
trap - EXIT
echo "screenshots: Enter closed About, Alt+C ended the program"
