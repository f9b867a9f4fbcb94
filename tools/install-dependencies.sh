#!/usr/bin/env bash
# Installs what building and testing nagare needs on Debian, when it is missing: cmake, g++, make and
# GoogleTest. Runs apt-get as root directly, otherwise through sudo.
set -euo pipefail

packages=(cmake g++ make libgtest-dev)
missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "Missing packages (${missing[*]}) and no way to install them: run as root or install sudo." >&2
    exit 1
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
