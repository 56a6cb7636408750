#!/usr/bin/env bash
# Packs the Windows program with what it needs beside it: the Japanese font, a read-me in
# Japanese and English, and the licences of everything inside.
# Usage: scripts/pack-windows.sh VELKOR_EXE DEPS_DIR OUT_ZIP
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
exe="${1:?velkor.exe}"
src="$(cd "${2:?deps directory}" && pwd)/src"
zip_out="$(cd "$(dirname "${3:?zip}")" && pwd)/$(basename "$3")"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
top="$stage/velkor-1.12"
mkdir -p "$top/licenses"
cp "$exe" "$top/velkor.exe"
x86_64-w64-mingw32-strip "$top/velkor.exe"
cp /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf "$top/ipagp.ttf"
# Windows' own text tools want CR LF; a byte-order mark tells Notepad the text is UTF-8.
crlf() { printf '\xEF\xBB\xBF' >"$2"; sed 's/\r$//; s/$/\r/' "$1" >>"$2"; }
# The read-me as the build configured it (with the ranking host it sends to), beside velkor.exe.
crlf "$(dirname "$exe")/readme.txt" "$top/readme.txt"
crlf /usr/share/doc/fonts-ipafont-gothic/copyright "$top/licenses/IPA_Font_License.txt"
# A library's own licence, then what Debian records of every part of its source: the parts under
# licences of their own (FreeType's inflate and bitmap-font drivers, SDL's maths and HID code) are
# inside velkor.exe too.
licence() {  # out, source directory, the library's own licence files...
  local out="$1" dir="$2" file; shift 2
  : >"$out.lf"
  for file in "$@"; do cat "$dir/$file" >>"$out.lf"; printf '\n' >>"$out.lf"; done
  printf '%s\n\n' "Copyright and licence of each part of the source, as Debian records them:" >>"$out.lf"
  cat "$dir/debian/copyright" >>"$out.lf"
  crlf "$out.lf" "$out"
  rm "$out.lf"
}
licence "$top/licenses/SDL2.txt" "$src/libsdl2-2.26.5+dfsg" LICENSE.txt
licence "$top/licenses/SDL2_ttf.txt" "$src/libsdl2-ttf-2.20.1+dfsg" LICENSE.txt
licence "$top/licenses/FreeType.txt" "$src/freetype-2.12.1+dfsg" LICENSE.TXT docs/FTL.TXT
crlf /usr/share/doc/mingw-w64-common/copyright "$top/licenses/MinGW-w64.txt"
crlf /usr/share/doc/gcc-mingw-w64-base/copyright "$top/licenses/GCC_runtime.txt"
rm -f "$zip_out"
# Fixed times, so the same program packs into the same zip.
find "$top" -exec touch -d '2026-01-01 00:00:00' {} +
(cd "$stage" && TZ=UTC zip -q -X -r "$zip_out" velkor-1.12)
echo "packed $zip_out"
