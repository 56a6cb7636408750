#!/usr/bin/env bash
# The real program left on its title screen for several minutes: the share of one core it uses in
# each 15 s, read from /proc/PID/stat. The title's scattered texts grow while frames are fast, so
# the share must stay flat, and below 5% of a core, however long the title runs.
# Needs an X display (scripts/run-benchmarks.sh gives it a virtual one).
# Usage: bench/title_core_share.sh [build dir] (default build-release)
set -eu
build=${1:-build-release}
seconds=${BENCH_TITLE_SECONDS:-240}
interval=15
limit_percent=5
bin="$build/velkor"
[ -x "$bin" ] || { echo "no $bin; build it first" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "title_core_share: needs an X display" >&2; exit 1; }
command -v xdotool >/dev/null || { echo "xdotool is missing; scripts/install-deps.sh bench installs it" >&2; exit 1; }
bin=$(realpath "$bin")

work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$work" && exec env SDL_AUDIODRIVER=dummy "$bin" >"$work/velkor.log" 2>&1) &
pid=$!
window=""
for _ in $(seq 200); do
  window=$(xdotool search --name '^Velkor Ver 1.12$' 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.05
done
[ -n "$window" ] || { echo "title_core_share: no window" >&2; cat "$work/velkor.log" >&2; exit 1; }
# Frames run while the window has the keyboard; Space skips the logo to the title.
xdotool windowfocus "$window"
sleep 1
xdotool key --window "$window" space

ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() {  # utime + stime: fields 14 and 15, counted after the name in brackets
  local stat
  stat=$(cat "/proc/$pid/stat")
  stat=${stat##*) }
  set -- $stat
  echo $((${12} + ${13}))
}

calc() { awk "BEGIN { printf \"%.6f\\n\", $1 }"; }
holds() { awk "BEGIN { exit !($1) }"; }

echo "title_core_share: the title screen of $bin, one core = 100%"
printf '%8s %10s\n' "after_s" "core_%"
worst=0
last=$(cpu_ticks)
start=$(date +%s.%N)
previous=$start
for ((t = interval; t <= seconds; t += interval)); do
  wait_s=$(calc "$start + $t - $(date +%s.%N)")
  if holds "$wait_s > 0"; then sleep "$wait_s"; fi
  kill -0 "$pid" 2>/dev/null || { echo "title_core_share: the program ended" >&2; cat "$work/velkor.log" >&2; exit 1; }
  now_ticks=$(cpu_ticks)
  now=$(date +%s.%N)
  share=$(calc "100 * ($now_ticks - $last) / $ticks_per_second / ($now - $previous)")
  printf '%8d %10.2f\n' "$t" "$share"
  if holds "$share > $worst"; then worst=$share; fi
  last=$now_ticks
  previous=$now
done
printf 'title_core_share: highest %.2f%% of a core (limit %d%%)\n' "$worst" "$limit_percent"
holds "$worst < $limit_percent"
