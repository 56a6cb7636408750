#!/usr/bin/env bash
# Configures and builds the game and the ranking server as the README's bare cmake lines do (and
# `make run` and `make install`, which also say -DVELKOR_TESTS=OFF), with the packages only the
# tests and benchmarks need out of reach: any find_package of them fails. The tree is kept, so a
# second run has little to build, but its cache goes each time, so the configure takes the
# defaults of a first one.
# Usage: game_without_test_packages.sh CMAKE SOURCE_DIR BUILD_DIR
set -eu
cmake=$1 src=$2 dir=$3
rm -rf "$dir/CMakeCache.txt" "$dir"/CMakeFiles/[0-9]*.[0-9]*
"$cmake" -S "$src" -B "$dir" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
"$cmake" --build "$dir" -j 2 --target velkor velkor-ranking
