#!/usr/bin/env bash
# Installs the Debian packages Kelvara's build, tests and package need, when they are missing.
set -euo pipefail

packages=(build-essential cmake qt6-base-dev qt6-svg-dev libsqlite3-dev libjpeg62-turbo-dev zlib1g-dev fonts-dejavu-core sqlite3 poppler-utils python3 desktop-file-utils appstream)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
fi
