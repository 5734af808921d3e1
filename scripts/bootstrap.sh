#!/bin/bash
# Installs what building and testing need on a Debian 12 machine; does nothing for what is there.
set -euo pipefail
packages=(cmake make g++-mingw-w64-x86-64-posix wine64 pulseaudio googletest dpkg-dev clang lld llvm)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "bootstrap: installing ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# hidapi's sources for the DLL (Debian source package, pinned and checked).
"$(dirname "$0")/fetch-hidapi.sh"
