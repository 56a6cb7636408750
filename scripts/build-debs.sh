#!/usr/bin/env bash
# Builds the Debian packages velkor (the game) and velkor-ranking (the server) from the install
# components "game" and "ranking" of a configured and built tree.
# Usage: scripts/build-debs.sh BUILD_DIR OUT_DIR
# VELKOR_DEB_MAINTAINER overrides the Maintainer field.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 BUILD_DIR OUT_DIR" >&2; exit 2; }
build=$(realpath "$1")
out=$(realpath -m "$2")
src=$(realpath "$(dirname "$0")/..")
deb="$src/packaging/debian"
version=$(dpkg-parsechangelog -l "$deb/changelog" -S Version)
maintainer=${VELKOR_DEB_MAINTAINER:-$(dpkg-parsechangelog -l "$deb/changelog" -S Maintainer)}
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
umask 022

# The systemd snippets dh_installsystemd writes, for each unit with an [Install] section.
systemd_scripts() {
  local root=$1 units=""
  for f in "$root"/lib/systemd/system/*.service "$root"/lib/systemd/system/*.socket; do
    [ -f "$f" ] && grep -q '^\[Install\]' "$f" && units="$units '$(basename "$f")'"
  done
  [ -n "$units" ] || return 0
  cat > "$root/DEBIAN/postinst" <<EOF
#!/bin/sh
set -e
if [ "\$1" = "configure" ] || [ "\$1" = "abort-upgrade" ] || [ "\$1" = "abort-deconfigure" ] || [ "\$1" = "abort-remove" ] ; then
	for unit in$units; do
		deb-systemd-helper unmask "\$unit" >/dev/null || true
		if deb-systemd-helper --quiet was-enabled "\$unit"; then
			deb-systemd-helper enable "\$unit" >/dev/null || true
		else
			deb-systemd-helper update-state "\$unit" >/dev/null || true
		fi
	done
	if [ -d /run/systemd/system ]; then
		systemctl --system daemon-reload >/dev/null || true
		if [ -n "\$2" ]; then action=restart; else action=start; fi
		deb-systemd-invoke \$action$units >/dev/null || true
	fi
fi
EOF
  cat > "$root/DEBIAN/prerm" <<EOF
#!/bin/sh
set -e
if [ -d /run/systemd/system ] && [ "\$1" = remove ]; then
	deb-systemd-invoke stop$units >/dev/null || true
fi
EOF
  cat > "$root/DEBIAN/postrm" <<EOF
#!/bin/sh
set -e
if [ -d /run/systemd/system ] && [ "\$1" = remove ]; then
	systemctl --system daemon-reload >/dev/null || true
fi
if [ "\$1" = "remove" ] && [ -x "/usr/bin/deb-systemd-helper" ]; then
	deb-systemd-helper mask$units >/dev/null || true
fi
if [ "\$1" = "purge" ] && [ -x "/usr/bin/deb-systemd-helper" ]; then
	deb-systemd-helper purge$units >/dev/null || true
	deb-systemd-helper unmask$units >/dev/null || true
fi
EOF
  chmod 0755 "$root/DEBIAN/postinst" "$root/DEBIAN/prerm" "$root/DEBIAN/postrm"
  echo "init-system-helpers (>= 1.54~)"
}

package() {
  local name=$1 component=$2 extra_depends=$3
  local root="$work/$name"
  DESTDIR="$root" cmake --install "$build" --component "$component" --prefix /usr --strip >/dev/null
  # Debian 12 keeps units in /lib/systemd/system.
  if [ -d "$root/usr/lib/systemd/system" ]; then
    mkdir -p "$root/lib/systemd"
    mv "$root/usr/lib/systemd/system" "$root/lib/systemd/system"
    rmdir --ignore-fail-on-non-empty "$root/usr/lib/systemd" "$root/usr/lib"
  fi
  find "$root" -type d -exec chmod 0755 {} +
  find "$root" -type f -exec chmod 0644 {} +
  for d in usr/games usr/bin usr/sbin; do
    [ -d "$root/$d" ] && find "$root/$d" -type f -exec chmod 0755 {} +
  done
  if [ -d "$root/usr/share/man" ]; then
    find "$root/usr/share/man" -type f -name '*.[0-9]' -exec gzip -9n {} +
  fi
  local doc="$root/usr/share/doc/$name"
  mkdir -p "$doc"
  install -m 0644 "$deb/copyright" "$doc/copyright"
  gzip -9n -c "$deb/changelog" > "$doc/changelog.Debian.gz"
  chmod 0644 "$doc/changelog.Debian.gz"

  mkdir -p "$root/DEBIAN"
  local helpers
  helpers=$(systemd_scripts "$root")
  # Library dependencies from the binaries, as dh_shlibdeps finds them.
  local binaries shlibs=""
  binaries=$(find "$root/usr" -type f -perm -0100)
  if [ -n "$binaries" ]; then
    mkdir -p "$work/shlibs/debian"
    printf 'Source: velkor\n\nPackage: %s\nArchitecture: any\n' "$name" > "$work/shlibs/debian/control"
    shlibs=$(cd "$work/shlibs" && dpkg-shlibdeps -O $binaries 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
  fi
  local depends
  depends=$(printf '%s,%s,%s' "$shlibs" "$helpers" "$extra_depends" | tr ',' '\n' | sed 's/^ *//; s/ *$//; /^$/d' |
            paste -sd ',' | sed 's/,/, /g')
  local size
  size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
  {
    sed -n '/^Package:/,/^Priority:/p' "$deb/control.$name"
    echo "Version: $version"
    echo "Architecture: $arch"
    echo "Maintainer: $maintainer"
    echo "Installed-Size: $size"
    [ -n "$depends" ] && echo "Depends: $depends"
    sed -n '/^Description:/,$p' "$deb/control.$name"
  } > "$root/DEBIAN/control"
  (cd "$root" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | sort -z | xargs -0r md5sum) > "$root/DEBIAN/md5sums"
  chmod 0644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -Zxz --build "$root" "$out/${name}_${version}_${arch}.deb" >/dev/null
  echo "$out/${name}_${version}_${arch}.deb"
}

package velkor game "fonts-ipafont-gothic"
package velkor-ranking ranking ""
