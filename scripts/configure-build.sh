#!/usr/bin/env bash
# Configures a build tree for the Makefile, so that each make run uses the CMAKE_FLAGS it was
# given. CMake keeps every -D setting in the tree's cache, so a flag given once would hold for
# every later run (a ranking host, an install prefix): when the flags differ from those the tree
# was last configured with, its cache is dropped and it is configured afresh. The objects stay
# (cmake --fresh would remove them), so only what the new settings change is built again.
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
flags=$(printf '%s\n' "$@")
# A tree without the record was configured otherwise (by hand, or by an older Makefile).
if [ -f "$dir/CMakeCache.txt" ] && { [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$flags" ]; }; then
  echo "CMAKE_FLAGS differ from those $dir was configured with: configuring it afresh"
  # The cache and the compiler checks, which would otherwise keep an old compiler.
  rm -rf "$dir/CMakeCache.txt" "$dir"/CMakeFiles/[0-9]*.[0-9]*
fi
rm -f "$stamp"
echo cmake -S "$src" -B "$dir" "${args[@]}" "$@"
cmake -S "$src" -B "$dir" "${args[@]}" "$@"
printf '%s\n' "$flags" > "$stamp"
