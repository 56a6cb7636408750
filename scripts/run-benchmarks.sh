#!/usr/bin/env bash
# Runs every benchmark of a release build. The ones that drive the real window need an X
# display; without one they all run under a virtual X server of their own.
# Usage: scripts/run-benchmarks.sh [build directory, default build-release]
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-release}
if [ -z "${DISPLAY:-}" ] && [ -z "${VELKOR_BENCH_UNDER_XVFB:-}" ]; then
  export VELKOR_BENCH_UNDER_XVFB=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$build"
fi
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
for b in "$build"/bench/bench_*; do
  if [ -x "$b" ]; then "$b"; fi
done
for s in bench/*.sh; do
  if [ -x "$s" ]; then "$s" "$build"; fi
done
