#!/usr/bin/env bash
# Installs the Debian packages Zeltrix needs, when any are missing.
#   scripts/deps.sh build   what building and running the program needs
#   scripts/deps.sh test    that, plus what the tests and benchmarks start
#   scripts/deps.sh package that of build, plus what builds and checks the .deb
set -euo pipefail

BUILD_PACKAGES=(
  cmake g++ make pkg-config libssl-dev
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libqt6webenginecore6-bin libgl-dev
  libxcb1-dev zlib1g-dev libjpeg62-turbo-dev
  fonts-dejavu-core fonts-wine xvfb xauth x11-utils
)
TEST_PACKAGES=(
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev clang-format clang-tidy
  xdotool openbox xfwm4 xfconf imagemagick
  nginx-light lighttpd apache2-bin python3 curl time attr dbus-daemon openssl
  chromium firefox-esr
  sway xwayland foot weston gnome-shell x11-xserver-utils
)
# scripts/package.sh: cpack's DEB generator (dpkg-shlibdeps, file) and the
# checkers of the package, its metadata and its desktop entry.
PACKAGE_PACKAGES=(dpkg-dev file lintian appstream desktop-file-utils)

want=("${BUILD_PACKAGES[@]}")
[ "${1:-build}" = test ] && want+=("${TEST_PACKAGES[@]}")
[ "${1:-build}" = package ] && want+=("${PACKAGE_PACKAGES[@]}")

missing=()
for p in "${want[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Zeltrix needs these Debian packages, which are not installed:" >&2
  echo "  ${missing[*]}" >&2
  echo "Install them as root (sudo apt-get install ${missing[*]}) and run this command again." >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
