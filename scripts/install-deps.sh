#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12.
# Usage: scripts/install-deps.sh [--with-windows]
set -euo pipefail
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

PACKAGES=(build-essential cmake ninja-build ccache pkg-config zlib1g-dev
          libgtest-dev googletest libbenchmark-dev clang libclang-rt-14-dev
          libwebp-dev imagemagick libimage-exiftool-perl netpbm python3 python3-pil
          libdeflate-dev webp gifsicle libjpeg-turbo-progs libturbojpeg0-dev
          apngasm libpng-dev libgtk-3-dev desktop-file-utils xvfb x11-utils xdotool fonts-wqy-microhei
          openbox xcompmgr dbus-daemon libxtst-dev libxfixes-dev)
if [ "${1:-}" = "--with-windows" ]; then
  PACKAGES+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 wine)
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
