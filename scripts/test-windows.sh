#!/usr/bin/env bash
# Runs the Windows build's tests under wine: its unit test programs, then the real velkor.exe as
# unpacked from the zip, in a virtual X server (the test_wine program of the Linux build drives it
# with real keys).
# Usage: scripts/test-windows.sh WINDOWS_BUILD_DIR LINUX_BUILD_DIR ZIP
set -euo pipefail
win="$(cd "${1:?Windows build directory}" && pwd)"
linux="$(cd "${2:?Linux build directory}" && pwd)"
zip="$(cd "$(dirname "${3:?the packed zip}")" && pwd)/$(basename "$3")"
export WINEPREFIX="$win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# wine makes its prefix on first use; without a display it needs none.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  env -u DISPLAY wineboot --init >/dev/null 2>&1 || true
  wineserver --wait
fi
# The font the program falls back on, beside the test programs as beside velkor.exe.
cp /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf "$win/"
failed=0
for t in "$win"/test_*.exe; do
  echo "== $(basename "$t") under wine"
  # Each program runs in a folder of its own; the sources are on drive Z:.
  if ! (cd "$win" && env -u DISPLAY wine "$t" --gtest_brief=1); then
    echo "FAILED: $(basename "$t")" >&2
    failed=1
  fi
done
echo "== velkor.exe under wine"
# One after another: a prefix has one wine server, and it keeps the display it started with.
wineserver --wait || true
(cd "$linux" && VELKOR_WINDOWS_DIR="$win" VELKOR_WINDOWS_ZIP="$zip" ctest --output-on-failure -j 1 -R '^WineProgram\.') || failed=1
wineserver --wait || true
exit $failed
