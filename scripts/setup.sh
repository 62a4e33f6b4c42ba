#!/usr/bin/env bash
# Installs what building and testing Morvane Backup needs on Debian 12.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev googletest
    dbus-daemon
    libarchive-dev
    samba libsmbclient-dev
    python3 strace openssl
    xvfb openbox trayer dunst xdotool imagemagick python3-pyatspi dbus-x11 at-spi2-core x11-utils libqt6svg6
    lintian desktop-file-utils appstream man-db xauth
    clang-14 libclang-rt-14-dev llvm-14
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
