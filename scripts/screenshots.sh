#!/usr/bin/env bash
# Takes the README's screenshots of the real game under a virtual X server: the title, the
# submission dialog (at the game's scale, also with its name selected), the message box of a send
# to a ranking server on this machine, the ranking, a game in play and the game-over screen, into
# docs/screenshots/.
# Usage: scripts/screenshots.sh [build directory, default build]
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh screenshots
build=${1:-build}
# With the default settings, whatever an earlier make was given (the ranking host shows).
scripts/configure-build.sh . "$build" -- >/dev/null
cmake --build "$build" -j2 --target velkor velkor-ranking >/dev/null
out=$PWD/docs/screenshots
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# A display number nobody uses.
n=$((700 + RANDOM % 200))
while [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:$n SDL_AUDIODRIVER=dummy
for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done

# A table with two games from today (shown red) and a low tenth place, so a game can place.
today=$(date +%y/%m/%d)
{
  i=0
  for s in 120 95 80 66 52 40 31 22 14 6; do
    i=$((i + 1))
    case $i in 2) d="$today 09:41" ;; 5) d="$today 10:02" ;; *) d="$(date -d "-$((i * 3)) days" +%y/%m/%d) 2$((i % 4)):1$i" ;; esac
    printf '%s\r\n%s\r\n' "$s" "${d:0:14}"
  done
  printf '1825\r\nVelkor\r\n'  # the check value of the best score: it may be sent
} > "$work/hisc.dat"

# The ranking server at the address the game sends to unless built otherwise (localhost:8080).
"$build/velkor-ranking" --db "$work/ranking.db" 2>"$work/ranking.log" &
pids+=($!)
for _ in $(seq 50); do grep -q listening "$work/ranking.log" 2>/dev/null && break; sleep 0.1; done

(cd "$work" && exec "$OLDPWD/$build/velkor") >"$work/velkor.log" 2>&1 &
game_pid=$!
pids+=($game_pid)
win=""
for _ in $(seq 100); do
  win=$(xdotool search --name '^Velkor Ver 1.12$' 2>/dev/null | head -1) && [ -n "$win" ] && break
  sleep 0.1
done
[ -n "$win" ] || { echo "the game window did not appear" >&2; cat "$work/velkor.log" >&2; exit 1; }

# The window's picture as an 8-bit PPM, cut from the root window (the window's own dump carries
# a colour map that the converter misreads).
grab() {
  eval "$(xdotool getwindowgeometry --shell "${1:-$win}")"
  xwd -silent -root | xwdtopnm 2>/dev/null | pamcut -left "$X" -top "$Y" -width "$WIDTH" -height "$HEIGHT" | pamdepth 255
}
shot() { grab "${2:-}" | pnmtopng > "$out/$1.png"; }
key() { xdotool key --window "$win" "$@"; }
# The id of a visible window of the game other than those given, once one shows (a title search
# would depend on the locale); fails after ten seconds.
new_window() {
  local not=() w id
  for w in "$@"; do not+=(-e "$w"); done
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --pid "$game_pid" 2>/dev/null | grep -vx "${not[@]}" | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
# True when the game-over screen shows a place line (red text on the top rows, centred).
placed() {
  grab | python3 -c '
import sys
data = sys.stdin.buffer.read()
parts = data.split(maxsplit=4)
w, h = int(parts[1]), int(parts[2])
px = parts[4]
s = w // 320
# Beside the up arm, whose chosen cell is red too.
cols = list(range(100 * s, 138 * s)) + list(range(180 * s, 220 * s))
red = sum(1 for y in range(4 * s, 20 * s) for x in cols if px[3 * (y * w + x):3 * (y * w + x) + 3] == b"\xff\x00\x00")
sys.exit(0 if red > 20 else 1)'
}

sleep 1
key space          # past the logo
sleep 2.5          # the scattered titles pile up
shot title

# The submission dialog, enlarged as the game is; a comment typed, then closed with its button.
xdotool windowfocus --sync "$win"
xdotool key alt+F9
dialog=$(new_window "$win") || { echo "the dialog did not open" >&2; exit 1; }
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$dialog")"
k=$((WIDTH / 309))
xdotool mousemove --sync --window "$dialog" $(((72 + 100) * k)) $(((104 + 10) * k)) click 1
xdotool type --delay 40 "Hello, big screen"
sleep 0.5
shot submit-dialog "$dialog"
# The name selected with a double-click, as it shows before it is typed over.
xdotool mousemove --sync --window "$dialog" $(((72 + 30) * k)) $(((72 + 10) * k)) click --repeat 2 --delay 80 1
sleep 0.5
shot submit-dialog-selection "$dialog"
# Sent: the message box opens at the game's scale too.
xdotool mousemove --sync --window "$dialog" $(((48 + 48) * k)) $(((136 + 16) * k)) click 1
box=$(new_window "$win" "$dialog") || { echo "no message box after the send" >&2; exit 1; }
for _ in $(seq 50); do grep -q '" 200 ' "$work/ranking.log" && break; sleep 0.1; done
grep -q '" 200 ' "$work/ranking.log" || { echo "the send did not reach the ranking server:" >&2; cat "$work/ranking.log" >&2; exit 1; }
sleep 0.5
shot submit-success "$box"
# Through the keyboard, not sent to the box: the box is gone by the time a sent key-up would reach it.
xdotool windowfocus --sync "$box"
xdotool key Return
sleep 0.5
xdotool mousemove --sync --window "$dialog" $(((176 + 44) * k)) $(((136 + 16) * k)) click 1
sleep 1
key Return
sleep 0.5
shot ranking
key Return

for attempt in 1 2 3 4 5 6; do
  sleep 0.5
  key space        # a game
  sleep 1
  # Choose every arm each turn: a sum of ten scores well, anything else misses.
  for turn in 1 2 3 4 5 6; do
    xdotool keydown --window "$win" Up Down Left Right
    sleep 0.15
    xdotool keyup --window "$win" Up Down Left Right
    sleep 0.4
  done
  if [ "$attempt" -eq 1 ]; then
    xdotool keydown --window "$win" Up Right
    sleep 0.3
    shot play
    xdotool keyup --window "$win" Up Right
  fi
  # Single arms from here: each miss takes five seconds off, so the game ends soon.
  for _ in $(seq 60); do
    key Up
    sleep 1
  done
  if placed; then
    shot game-over
    break
  fi
  key Return       # back to the logo, then the title
  sleep 1
  key space
done
ls -l "$out"
