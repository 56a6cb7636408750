#!/usr/bin/env bash
# Each make run uses the CMAKE_FLAGS it was given and no others: scripts/configure-build.sh on a
# small project of cache settings (a flag given once must not hold for the next run, nor one set
# by hand or by a failed configure), and every configure of the Makefile going through it.
# Usage: configure_build_test.sh SOURCE_DIR
set -u
src=$1
configure=$src/scripts/configure-build.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

mkdir "$work/probe"
cat > "$work/probe/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(probe NONE)
set(HOST "localhost:8080" CACHE STRING "")
option(BROKEN "" OFF)
if(BROKEN)
  message(FATAL_ERROR "broken on purpose")
endif()
# How many configures this cache has seen: 1 after a fresh start.
math(EXPR runs "${RUNS} + 1")
set(RUNS ${runs} CACHE INTERNAL "")
file(WRITE ${CMAKE_BINARY_DIR}/seen "HOST=${HOST} PREFIX=${CMAKE_INSTALL_PREFIX} BY_HAND=${BY_HAND} RUNS=${RUNS}")
CMAKE
tree=$work/tree
# run EXPECTED FLAG...: configures the tree with the Makefile's own -DBROKEN=OFF and FLAGs, and
# compares what the project saw.
run() {
  local expected=$1
  shift
  "$configure" "$work/probe" "$tree" -DBROKEN=OFF -- "$@" > "$work/out" 2>&1 || fail "configure failed with $*: $(cat "$work/out")"
  [ "$(cat "$tree/seen")" = "$expected" ] || fail "with '$*' the project saw '$(cat "$tree/seen")', not '$expected'"
}

run "HOST=club.example PREFIX=/usr BY_HAND= RUNS=1" -DHOST=club.example -DCMAKE_INSTALL_PREFIX=/usr
run "HOST=club.example PREFIX=/usr BY_HAND= RUNS=2" -DHOST=club.example -DCMAKE_INSTALL_PREFIX=/usr
run "HOST=localhost:8080 PREFIX=/usr/local BY_HAND= RUNS=1"
run "HOST=localhost:8080 PREFIX=/usr/local BY_HAND= RUNS=2"
# A setting made by hand goes too, and the objects stay across a fresh configure.
cmake -S "$work/probe" -B "$tree" -DBY_HAND=1 > /dev/null
mkdir -p "$tree/CMakeFiles/game.dir" && touch "$tree/CMakeFiles/game.dir/main.cpp.o"
run "HOST=localhost:8080 PREFIX=/usr/local BY_HAND= RUNS=1"
[ -f "$tree/CMakeFiles/game.dir/main.cpp.o" ] || fail "a fresh configure removed the objects"
run "HOST=b b PREFIX=/usr/local BY_HAND= RUNS=1" "-DHOST=b b"
# A configure that fails leaves no record, so the next run starts afresh too.
"$configure" "$work/probe" "$tree" -DBROKEN=OFF -- -DHOST=c:3 -DBROKEN=ON > /dev/null 2>&1 && fail "the broken configure succeeded"
run "HOST=localhost:8080 PREFIX=/usr/local BY_HAND= RUNS=1"
# A tree configured without the script (by hand, or by an older Makefile) starts afresh.
cmake -S "$work/probe" -B "$work/old" -DHOST=old:1 > /dev/null
tree=$work/old
run "HOST=localhost:8080 PREFIX=/usr/local BY_HAND= RUNS=1"

# Every configure of the Makefile's targets goes through the script with the flags last.
recipes=$(env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -n -C "$src" run test-plain test-asan test-fuzz windows test-windows bench install package \
          CMAKE_FLAGS=-DPROBE=1 2>&1 | sed -e ':a' -e '/\\$/N; s/\\\n//; ta')
grep -E '(^|[ ;&])cmake +(-S|--fresh)' <<< "$recipes" && fail "a target configures with cmake itself"
configures=$(grep -c 'configure-build.sh' <<< "$recipes")
[ "$configures" -ge 8 ] || fail "only $configures configures through the script: $recipes"
[ "$(grep 'configure-build.sh' <<< "$recipes" | grep -vc -- '-- -DPROBE=1\( \|$\)')" -eq 0 ] ||
  fail "a configure without the flags last: $(grep 'configure-build.sh' <<< "$recipes")"

[ "$failures" -eq 0 ] && echo "all cases passed"
[ "$failures" -eq 0 ]
