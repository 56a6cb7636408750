#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when they are missing.
# Usage: scripts/install-deps.sh run|test|bench|screenshots|windows|package
set -eu
want=(cmake make g++ pkg-config zlib1g-dev libsdl2-dev libsdl2-ttf-dev libx11-dev libfontconfig-dev libfreetype-dev fonts-ipafont-gothic)
case "${1:-run}" in
  test) want+=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool x11-utils libx11-dev clang libclang-rt-14-dev
               sox libsqlite3-dev libasio-dev chromium nginx-light libnginx-mod-stream openbox
               fluxbox xfwm4 xfconf icewm dbus-daemon
               libglib2.0-bin dconf-gsettings-backend ibus ibus-anthy ibus-mozc fcitx5 fcitx5-mozc
               systemd man-db desktop-file-utils appstream lintian dpkg-dev) ;;
  # The cross build from Debian's sources, and wine to run what it makes.
  windows) want+=(g++-mingw-w64-x86-64-posix dpkg-dev debian-archive-keyring libgtest-dev libgmock-dev zip unzip
                  wine wine64) ;;
  bench) want+=(libbenchmark-dev libgtest-dev xvfb xdotool libsqlite3-dev libasio-dev wrk nginx-light curl) ;;
  run) want+=(libsqlite3-dev libasio-dev) ;;
  package) want+=(libsqlite3-dev libasio-dev dpkg-dev) ;;
  screenshots) want+=(libsqlite3-dev libasio-dev xvfb xdotool x11-apps netpbm python3) ;;
esac
# The Wayland test: a headless compositor, its screenshot and virtual-keyboard tools, and the
# software EGL that SDL draws a Wayland window through.
[ "${1:-run}" = test ] && want+=(sway grim wtype libegl-mesa0)
missing=()
for p in "${want[@]}"; do
  # Present when dpkg holds all its files, configured or not yet: triggers still to run, or
  # unpacked and half-configured as while another apt run upgrades it. Not when it is only
  # half-installed, left broken (reinstreq) or removed. Multi-arch packages give a line each.
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null |
    grep -Eq '^[a-z]+ ok (installed|triggers-pending|triggers-awaited|half-configured|unpacked)$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "$0: these Debian packages are missing: ${missing[*]}" >&2
    echo "Run this as root, or install sudo, or have them installed with:" >&2
    echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
  fi
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another package manager (unattended upgrades on a desktop just started, say) may hold apt's
# locks for minutes: wait for them rather than fail. apt-get install waits by itself for
# DPkg::Lock::Timeout; apt-get update fails at once on the lock of its lists, so it is tried
# again until the same time has passed: ten minutes, or VELKOR_APT_LOCK_TIMEOUT seconds.
lock_timeout=${VELKOR_APT_LOCK_TIMEOUT:-600}
wait_option=(-o "DPkg::Lock::Timeout=$lock_timeout")
lists=/var/lib/apt/lists/
eval "$(apt-config shell lists Dir::State::Lists/d 2>/dev/null)" || true
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
for ((waited = 0; ; waited += 5)); do
  status=0
  $sudo apt-get "${wait_option[@]}" update -qq 2>"$errors" || status=$?
  cat "$errors" >&2
  [ "$status" -eq 0 ] && break
  if ! grep -qF "${lists%/}/lock" "$errors" || [ "$waited" -ge "$lock_timeout" ]; then
    exit "$status"
  fi
  echo "Waiting for another package manager to finish with ${lists%/}/lock..."
  sleep 5
done
$sudo apt-get "${wait_option[@]}" install -y -qq --no-install-recommends "${missing[@]}"
