#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time, from its seed corpus. A target fails
# on a non-zero exit and also on any sanitizer report in its output, even one it survived.
set -eu
dir=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-30}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
for f in "$dir"/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=$(mktemp -d)
  seeds="fuzz/corpus/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/ 2>/dev/null || true
  echo "fuzzing $name for ${seconds}s"
  failed=0
  "$f" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" >"$corpus.log" 2>&1 || failed=1
  if grep -Eq 'runtime error:|(Address|Leak|UndefinedBehavior|Memory|Thread)Sanitizer' "$corpus.log"; then failed=1; fi
  if [ $failed -ne 0 ]; then
    tail -50 "$corpus.log"
    status=1
  fi
  rm -rf "$corpus" "$corpus.log"
done
echo "fuzzing: $([ $status -eq 0 ] && echo passed || echo FAILED)"
exit $status
