#!/usr/bin/env bash
# Brings a Debian 12 machine everything Tillvox needs to build and test:
# the MinGW cross compilers, Wine with its 32-bit half, a virtual display,
# socat for COM port pairs, CMake/Ninja and GoogleTest's sources.
# Safe to run again: it does nothing when everything is already there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils wine wine32:i386 wine64 xvfb xauth x11-utils socat cmake ninja-build
          python3 googletest g++ make imagemagick procps fonts-liberation fonts-wine fonts-noto-cjk)
for p in "${packages[@]}"; do have "$p" || need+=("$p"); done
[ ${#need[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
