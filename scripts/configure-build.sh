#!/usr/bin/env bash
# Configures a build tree for the Makefile, so that each make run uses the settings it was given
# and no others. CMake keeps every -D setting in the tree's cache, so a flag given once (a ranking
# host, an install prefix), or set by hand with cmake -D, would hold for every later run: when
# the flags differ from those the tree was last configured with here, or its cache has changed
# since, the cache is dropped and the tree configured afresh. The objects stay (cmake --fresh
# would remove them), so only what the new settings change is built again.
# Usage: scripts/configure-build.sh SOURCE_DIR BUILD_DIR ARG... -- [CMAKE_FLAGS...]
# ARGs are the Makefile's own settings for the tree, given every time.
set -eu
src=$1 dir=$2
shift 2
args=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
  args+=("$1")
  shift
done
[ $# -gt 0 ] && shift
stamp="$dir/make-cmake-flags"
# The flags, then the cache's checksum as that configure left it. A tree without the record was
# configured otherwise (by hand, or by an older Makefile).
record() { printf '%s\n' "$@" "-- cache $(md5sum < "$dir/CMakeCache.txt")"; }
if [ -f "$dir/CMakeCache.txt" ] && { [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$(record "$@")" ]; }; then
  echo "$dir was configured with other settings than these: configuring it afresh"
  # The cache and the compiler checks, which would otherwise keep an old compiler.
  rm -rf "$dir/CMakeCache.txt" "$dir"/CMakeFiles/[0-9]*.[0-9]*
fi
rm -f "$stamp"
echo cmake -S "$src" -B "$dir" "${args[@]}" "$@"
cmake -S "$src" -B "$dir" "${args[@]}" "$@"
record "$@" > "$stamp"
