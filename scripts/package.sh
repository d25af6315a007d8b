#!/usr/bin/env bash
# Builds the Debian package meterlink_<version>_<arch>.deb and checks it as a user's machine would
# see it: the files it installs, the desktop entry and the AppStream metainfo as installed, lintian,
# and whether apt can satisfy its dependencies.
#   BUILD_DIR=dir scripts/package.sh   builds in dir (default: build, shared with test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

ensure_packages "${METERLINK_PACKAGES[@]}"
dir=${BUILD_DIR:-build}
# The package carries the delivered default model; every other one is a --model away.
build_meterlink "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMETERLINK_MODEL=IFOR210
rm -f "$dir"/meterlink_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
debs=("$dir"/meterlink_*_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "package.sh: cpack made no meterlink_<version>_<arch>.deb" >&2; exit 1; }
echo "== $deb"

fail() {
    echo "package.sh: $*" >&2
    exit 1
}

app_id=io.github.meterlink.MeterLink
expected=(
    usr/bin/meterlink
    usr/bin/meterlink-cli
    "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    "usr/share/icons/hicolor/128x128/apps/$app_id.png"
)
for size in 16 24 32 48 64 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
contents=$(dpkg-deb -c "$deb")
for file in "${expected[@]}"; do
    grep -q " \./$file\$" <<<"$contents" || fail "the package does not install /$file"
done
echo "installs: ${expected[*]/#//}"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"
# Every launcher action starts a model the program knows.
while read -r model; do
    "$root/usr/bin/meterlink" --model "$model" --version >/dev/null ||
        fail "the desktop action for $model starts no known model"
done < <(sed -n 's/^Exec=meterlink --model-folder --model //p' "$root/usr/share/applications/$app_id.desktop")
# Every launcher start works in a folder of its own, not in the home folder.
[ "$(grep -c '^Exec=' "$root/usr/share/applications/$app_id.desktop")" = \
    "$(grep -c '^Exec=meterlink --model-folder' "$root/usr/share/applications/$app_id.desktop")" ] ||
    fail "a desktop entry starts meterlink without --model-folder"
"$root/usr/bin/meterlink" --version
"$root/usr/bin/meterlink-cli" --version

lintian --fail-on error --allow-root "$deb"
# A fresh machine's apt must find every dependency (nothing is installed here).
apt-get install --simulate "./$deb" >/dev/null || fail "apt cannot satisfy the package's dependencies"
echo "OK: install it with  apt install ./$(basename "$deb")"
