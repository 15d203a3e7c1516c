#!/usr/bin/env bash
# Builds the Debian package from the release build and checks it.
#   scripts/package.sh           build-release/zeltrix_<version>_amd64.deb, its file
#                                list, metadata, desktop entry and lintian
#   scripts/package.sh install   that, then (as root) installs it with apt-get, runs
#                                the installed zeltrix --version and --help, removes it
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh package
BUILD=${ZX_RELEASE_BUILD:-build-release}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DZX_TESTS=OFF -DZX_BENCH=OFF >/dev/null
cmake --build "$BUILD" --target zeltrix -j"$(nproc)"
rm -f "$BUILD"/zeltrix_*.deb
(cd "$BUILD" && cpack -G DEB >/dev/null)
deb=$(echo "$BUILD"/zeltrix_*_amd64.deb)
[ -f "$deb" ] || { echo "no package was built" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
echo "Built $deb"
dpkg-deb -f "$deb" Package Version Architecture Depends Recommends

fail() { echo "package check failed: $*" >&2; exit 1; }

# The files, exactly: anything missing or unexpected fails.
expected=$(sort <<LIST
./usr/bin/zeltrix
./usr/share/applications/com.example.zeltrix.desktop
./usr/share/doc/zeltrix/README.md
./usr/share/doc/zeltrix/changelog.gz
./usr/share/doc/zeltrix/copyright
./usr/share/icons/hicolor/128x128/apps/zeltrix.png
./usr/share/icons/hicolor/16x16/apps/zeltrix.png
./usr/share/icons/hicolor/24x24/apps/zeltrix.png
./usr/share/icons/hicolor/256x256/apps/zeltrix.png
./usr/share/icons/hicolor/32x32/apps/zeltrix.png
./usr/share/icons/hicolor/48x48/apps/zeltrix.png
./usr/share/icons/hicolor/64x64/apps/zeltrix.png
./usr/share/icons/hicolor/scalable/apps/zeltrix.svg
./usr/share/man/man1/zeltrix.1.gz
./usr/share/metainfo/com.example.zeltrix.metainfo.xml
LIST
)
actual=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort)
diff <(echo "$expected") <(echo "$actual") || fail "the file list differs (- expected, + built)"
[ "$(dpkg-deb -f "$deb" Depends | grep -o 'libqt6webenginecore6-bin' | wc -l)" -eq 1 ] ||
    fail "the dependency on the engine's helper is missing or listed more than once"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6webenginecore6 ' || fail "shlibdeps found no engine library"

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
appstreamcli validate --no-net "$tree"/usr/share/metainfo/com.example.zeltrix.metainfo.xml
grep -q "<release version=\"$version\"" "$tree"/usr/share/metainfo/com.example.zeltrix.metainfo.xml ||
  fail "the metadata's release is not $version"
desktop-file-validate "$tree"/usr/share/applications/com.example.zeltrix.desktop
# Exit code 0 means no error; warnings and notes are printed for the reader.
lintian --display-info "$deb" || fail "lintian reports errors"
echo "lintian: no errors"

[ "${1:-}" = install ] || exit 0
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
! dpkg-query -W -f='${Status}' zeltrix 2>/dev/null | grep -q installed ||
  fail "a zeltrix package is installed already; remove it first"
trap 'rm -rf "$tree"; apt-get remove -y -qq zeltrix >/dev/null 2>&1 || true' EXIT
export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq --no-install-recommends "./$deb" >/dev/null
[ "$(command -v zeltrix)" = /usr/bin/zeltrix ] || fail "zeltrix is not /usr/bin/zeltrix"
# Neither answer needs a display or starts the engine.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY zeltrix --version) || fail "zeltrix --version exits with $?"
[ "$out" = "Zeltrix $version" ] || fail "zeltrix --version says \"$out\""
out=$(env -u DISPLAY -u WAYLAND_DISPLAY zeltrix --help) || fail "zeltrix --help exits with $?"
grep -q '^Usage: zeltrix' <<<"$out" || fail "zeltrix --help prints no usage"
echo "Installed and ran: $(zeltrix --version)"
apt-get remove -y -qq zeltrix >/dev/null
[ ! -e /usr/bin/zeltrix ] || fail "/usr/bin/zeltrix outlives the package"
! dpkg-query -W -f='${Status}' zeltrix 2>/dev/null | grep -q ' installed' || fail "the package is still installed"
echo "Removed the package again."
