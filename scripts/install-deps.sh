#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when they are missing.
# Usage: scripts/install-deps.sh run|test|bench|screenshots|windows|package
set -eu
want=(cmake make g++ pkg-config zlib1g-dev libsdl2-dev libsdl2-ttf-dev libx11-dev libfontconfig-dev libfreetype-dev fonts-ipafont-gothic)
case "${1:-run}" in
  test) want+=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool x11-utils libx11-dev clang libclang-rt-14-dev
               sox libsqlite3-dev libasio-dev chromium nginx-light libnginx-mod-stream openbox
               systemd man-db desktop-file-utils appstream lintian dpkg-dev
               dbus-daemon libglib2.0-bin dconf-gsettings-backend ibus ibus-anthy ibus-mozc fcitx5 fcitx5-mozc) ;;
  # The cross build from Debian's sources, and wine to run what it makes.
  windows) want+=(g++-mingw-w64-x86-64-posix dpkg-dev debian-archive-keyring libgtest-dev libgmock-dev zip unzip
                  wine wine64) ;;
  bench) want+=(libbenchmark-dev libgtest-dev xvfb xdotool libsqlite3-dev libasio-dev wrk nginx-light curl) ;;
  run) want+=(libsqlite3-dev libasio-dev) ;;
  package) want+=(libsqlite3-dev libasio-dev dpkg-dev) ;;
  screenshots) want+=(libsqlite3-dev libasio-dev xvfb xdotool x11-apps netpbm python3) ;;
esac
missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
