#!/usr/bin/env bash
# Builds the libraries the Windows program links (SDL2, SDL2_ttf, FreeType, GoogleTest) with the
# MinGW-w64 cross compiler, from Debian's own source packages of the versions the Linux build
# uses. The sources come through apt with a source list of our own inside the build directory,
# so the machine's apt configuration is never touched; each .dsc must match the checksum kept
# here, and dpkg-source checks every tarball against its .dsc.
# Usage: scripts/windows-deps.sh BUILD_DIR   (installs into BUILD_DIR/prefix; a rerun is quick)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mkdir -p "${1:?build directory}" && cd "$1" && pwd)"
prefix="$out/prefix"
jobs="${JOBS:-2}"
host=x86_64-w64-mingw32
toolchain="$here/cmake/mingw-w64-x86_64.cmake"

# Source package, version, sha256 of its .dsc.
packages=(
  "libsdl2 2.26.5+dfsg-1 $(sed -n 's/^libsdl2 //p' "$here/scripts/windows-deps.sha256")"
  "libsdl2-ttf 2.20.1+dfsg-2 $(sed -n 's/^libsdl2-ttf //p' "$here/scripts/windows-deps.sha256")"
  "freetype 2.12.1+dfsg-5+deb12u4 $(sed -n 's/^freetype //p' "$here/scripts/windows-deps.sha256")"
)

stamp="$prefix/.built-$(cat "$0" "$here/scripts/windows-deps.sha256" "$toolchain" | sha256sum | cut -c1-16)"
[ -f "$stamp" ] && exit 0

apt_dir="$out/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts" "$out/src"
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat > "$apt_dir/sources.list" <<LIST
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
LIST
apt_opts=(-o Dir::Etc::SourceList="$apt_dir/sources.list" -o Dir::Etc::SourceParts="$apt_dir/parts"
          -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
          -o APT::Sandbox::User=root)

fetched() {  # all .dsc files present and matching
  for entry in "${packages[@]}"; do
    read -r name version sum <<<"$entry"
    local dsc="$out/src/${name}_${version#*:}.dsc"
    [ -f "$dsc" ] && echo "$sum  $dsc" | sha256sum -c --quiet - >/dev/null 2>&1 || return 1
  done
}

if ! fetched; then
  apt-get "${apt_opts[@]}" -qq update
  for entry in "${packages[@]}"; do
    read -r name version sum <<<"$entry"
    (cd "$out/src" && apt-get "${apt_opts[@]}" -qq source --download-only "$name=$version")
    dsc="$out/src/${name}_${version}.dsc"
    if ! echo "$sum  $dsc" | sha256sum -c --quiet -; then
      echo "windows-deps: $dsc does not match its pinned checksum" >&2
      exit 1
    fi
  done
fi

unpack() {  # name debian-version -> directory of the unpacked, patched source
  local dir="$out/src/$1-${2%-*}"
  if [ ! -f "$dir/.unpacked" ]; then
    rm -rf "$dir"
    # Checks each tarball against the .dsc; the .dsc itself was checked above.
    (cd "$out/src" && dpkg-source --no-check -x "${1}_${2}.dsc" "$dir" >/dev/null)
    touch "$dir/.unpacked"
  fi
  echo "$dir"
}
# dpkg-source --no-check skips only the signature; verify the tarballs against the .dsc ourselves.
for entry in "${packages[@]}"; do
  read -r name version sum <<<"$entry"
  dsc="$out/src/${name}_${version}.dsc"
  awk '/^Checksums-Sha256:/{f=1;next} /^[^ ]/{f=0} f&&NF==3{print $1"  '"$out"'/src/"$3}' "$dsc" | sha256sum -c --quiet -
done

# ccache, where the machine has it, keeps a rebuild of a fresh tree quick; it is not needed.
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake_build() {  # source dir, build dir, extra flags...
  local src="$1" bld="$2"; shift 2
  cmake -S "$src" -B "$bld" -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" -DBUILD_SHARED_LIBS=OFF "${launcher[@]}" "$@" >/dev/null
  cmake --build "$bld" -j "$jobs" >/dev/null
  cmake --install "$bld" >/dev/null
}

ft="$(unpack freetype 2.12.1+dfsg-5+deb12u4)"
# Nothing from outside FreeType: no system zlib, bzip2, PNG or shaping (its own inflate stays in).
cmake_build "$ft" "$out/build-freetype" -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
  -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON

sdl="$(unpack libsdl2 2.26.5+dfsg-1)"
cmake_build "$sdl" "$out/build-sdl2" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF

ttf="$(unpack libsdl2-ttf 2.20.1+dfsg-2)"
cmake_build "$ttf" "$out/build-sdl2-ttf" -DSDL2TTF_VENDORED=OFF -DSDL2TTF_HARFBUZZ=OFF -DSDL2TTF_SAMPLES=OFF

# GoogleTest from the sources Debian ships with libgtest-dev.
cmake_build /usr/src/googletest "$out/build-gtest" -DINSTALL_GTEST=ON -Dgtest_disable_pthreads=OFF

rm -f "$prefix"/.built-*
touch "$stamp"
