#!/usr/bin/env bash
# Installs what building, testing and running Marnifex needs, skipping what is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qtbase5-dev qtbase5-dev-tools qtscript5-dev libqt5serialport5-dev
    socat xvfb xauth xdotool imagemagick
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    echo "Installing: ${missing[*]}"
    $sudo_cmd apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
