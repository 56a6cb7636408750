#!/usr/bin/env bash
# scripts/install-deps.sh run against fake dpkg-query, apt-config, apt-get, sudo, id and sleep on
# a PATH of their own: which packages it takes as present, what it installs with which apt
# options, how it waits for another package manager's lock, and what it says when it cannot
# install at all.
# Usage: install_deps_test.sh SOURCE_DIR
set -u
script=$1/scripts/install-deps.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL ($case): $*" >&2
  failures=$((failures + 1))
}

# The few real tools the script runs besides the fakes; no sudo or apt among them.
mkdir "$work/tools"
for tool in bash cat grep mktemp rm; do
  ln -s "$(command -v "$tool")" "$work/tools/$tool"
done
fake() {
  printf '#!/bin/bash\n%s\n' "$2" > "$work/tools/$1"
  chmod +x "$work/tools/$1"
}
# Status lines from $FAKE/status ("package|status", a line per architecture; "package|-" for
# one dpkg has never heard of); any other package is installed.
fake dpkg-query 'p=${!#}
if grep -q "^$p|" "$FAKE/status"; then
  grep "^$p|" "$FAKE/status" | while IFS="|" read -r _ s; do
    [ "$s" = - ] && { echo "dpkg-query: no packages found matching $p" >&2; exit 1; }
    echo "$s"
  done
else
  echo "install ok installed"
fi'
fake apt-config 'echo "lists='\''/fake/lists/'\''"'
# apt-get update fails on its lists lock as often as $FAKE/locked says, or on something else
# when that says "offline".
fake apt-get 'echo "apt-get $*" >> "$FAKE/log"
if [[ " $* " == *" update "* ]]; then
  n=$(cat "$FAKE/locked")
  [ "$n" = offline ] && { echo "E: Failed to fetch something" >&2; exit 100; }
  if [ "$n" -gt 0 ]; then
    echo $((n - 1)) > "$FAKE/locked"
    echo "E: Could not get lock /fake/lists/lock. It is held by process 4242 (apt-get)" >&2
    exit 100
  fi
fi
exit 0'
fake id '[ "$1" = -u ] && echo "$FAKE_UID"'
fake sleep 'echo "sleep $*" >> "$FAKE/log"'
fake_sudo='echo "sudo $*" >> "$FAKE/log"; exec "$@"'

# run_case NAME UID SUDO(yes|no) LOCKED|offline "package|status" ...: runs the script; $status, $out
# and $log are then its exit status, its output and the fakes' record.
run_case() {
  case=$1
  export FAKE="$work/$case" FAKE_UID=$2
  mkdir -p "$FAKE"
  rm -f "$work/tools/sudo"
  [ "$3" = yes ] && fake sudo "$fake_sudo"
  echo "$4" > "$FAKE/locked"
  shift 4
  printf '%s\n' "$@" > "$FAKE/status"
  : > "$FAKE/log"
  status=0
  out=$(PATH="$work/tools" VELKOR_APT_LOCK_TIMEOUT=60 "$script" run 2>&1 < /dev/null) || status=$?
  log=$(cat "$FAKE/log")
}
# The packages of the install call, sorted.
installed() { grep ' install ' <<< "$log" | sed 's/.*--no-install-recommends //' | tr ' ' '\n' | sort | paste -sd ' '; }
count() { grep -c -- "$1" <<< "$log"; }

run_case present-states 1000 no 0 \
  'cmake|install ok triggers-pending' 'make|install ok triggers-awaited' 'g++|hold ok installed' \
  'pkg-config|install ok half-configured' 'zlib1g-dev|install ok unpacked' 'libsdl2-dev|deinstall ok installed' \
  'libx11-dev|install ok installed' 'libx11-dev|unknown ok not-installed'
[ "$status" -eq 0 ] || fail "exit status $status: $out"
[ -z "$log" ] || fail "ran apt-get although everything is there: $log"

run_case missing-after-locks 0 no 2 \
  'libsdl2-dev|deinstall ok config-files' 'libsqlite3-dev|-' 'libasio-dev|install reinstreq half-installed' \
  'fonts-ipafont-gothic|unknown ok not-installed' 'cmake|purge ok not-installed' 'make|install ok half-installed'
[ "$status" -eq 0 ] || fail "exit status $status: $out"
[ "$(installed)" = "cmake fonts-ipafont-gothic libasio-dev libsdl2-dev libsqlite3-dev make" ] ||
  fail "installed '$(installed)'"
[ "$(count ' update')" -eq 3 ] || fail "update not tried again after the lock: $log"
[ "$(count '^sleep ')" -eq 2 ] || fail "no wait between the tries: $log"
[ "$(count 'DPkg::Lock::Timeout=[1-9]')" -eq 4 ] || fail "not every apt-get call waits for the lock: $log"
grep ' install ' <<< "$log" | grep -q -- ' -y ' || fail "install asks: $log"
[ "$(count '^sudo')" -eq 0 ] || fail "used sudo as root: $log"

run_case lock-held-for-good 0 no 100000 'libsdl2-dev|-'
[ "$status" -ne 0 ] || fail "succeeded without apt's lists: $out"
[ "$(count ' install ')" -eq 0 ] || fail "installed without apt's lists: $log"
[ "$(count '^sleep ')" -eq 12 ] || fail "did not wait the time it was given: $log"
grep -q 'Could not get lock' <<< "$out" || fail "apt's error not shown: $out"

run_case update-fails 0 no offline 'libsdl2-dev|-'
[ "$status" -ne 0 ] || fail "succeeded although the update failed"
[ "$(count ' update')" -eq 1 ] || fail "tried again on an error that is no lock: $log"

run_case user-with-sudo 1000 yes 0 'libasio-dev|-'
[ "$status" -eq 0 ] || fail "exit status $status: $out"
[ "$(grep '^sudo apt-get.* install ' <<< "$log" | sed 's/.* //')" = libasio-dev ] || fail "not installed through sudo: $log"

run_case user-without-sudo 1000 no 0 'libasio-dev|-' 'libsdl2-dev|deinstall ok config-files'
[ "$status" -ne 0 ] || fail "succeeded without installing: $out"
[ -z "$log" ] || fail "ran apt-get without sudo: $log"
for word in root sudo libasio-dev libsdl2-dev; do
  grep -q "$word" <<< "$out" || fail "the message does not name $word: $out"
done
grep -q 'command not found' <<< "$out" && fail "$out"

[ "$failures" -eq 0 ] && echo "all cases passed"
[ "$failures" -eq 0 ]
