#!/bin/bash
# Fetches hidapi's sources from Debian's source package into third_party/hidapi-src/ (git-ignored).
# The version is pinned and the download is checked against the checksums written here; the
# signed Sources index of the archive vouches for the .dsc, and dpkg-source checks the tarballs
# against the .dsc as it unpacks them.
set -euo pipefail
cd "$(dirname "$0")/.."

version=0.13.1-1
upstream=0.13.1
orig_sha256=476a2c9a4dc7d1fc97dd223b84338dbea3809a84caea2dcd887d9778725490e3
debian_sha256=f18b75a9bcebb01a846a3a6146569ad6d6842721c0f50e3a28dd647bbdb8b5e0
dest=third_party/hidapi-src
stamp="$dest/.zol-fetched-$version"

[ -f "$stamp" ] && [ -f "$dest/windows/hid.c" ] && exit 0

sudo_cmd=""
[ "$(id -u)" -eq 0 ] || sudo_cmd=sudo

# apt-get source needs a deb-src entry: mirror the machine's own Debian entries as source entries.
if ! apt-get source --print-uris -q "hidapi=$version" >/dev/null 2>&1; then
    echo "fetch-hidapi: adding deb-src entries beside the machine's Debian entries"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $sudo_cmd tee /etc/apt/sources.list.d/zol-debian-src.sources >/dev/null
    else
        grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | sed 's/^deb /deb-src /' |
            $sudo_cmd tee /etc/apt/sources.list.d/zol-debian-src.list >/dev/null
    fi
    $sudo_cmd apt-get update -q
fi

work=$(mktemp -d)
chmod 755 "$work"  # apt downloads as its own user
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -q "hidapi=$version" >/dev/null)

echo "$orig_sha256  $work/hidapi_$upstream.orig.tar.gz" | sha256sum -c --quiet -
echo "$debian_sha256  $work/hidapi_$version.debian.tar.xz" | sha256sum -c --quiet -

rm -rf "$dest"
mkdir -p "$(dirname "$dest")"
mv "$work/hidapi-$upstream" "$dest"
touch "$stamp"
echo "fetch-hidapi: hidapi $version in $dest"
