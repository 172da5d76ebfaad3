#!/usr/bin/env bash
# Brings a Debian 12 machine everything Tillvox needs to build and test:
# the MinGW cross compilers, Wine with its 32-bit half, a virtual display, NSIS,
# socat for COM port pairs, CMake/Ninja and GoogleTest's sources; where the
# machine runs no 32-bit Linux programs, the user-mode emulator that lets the
# 32-bit build run in its smoke test.
# Safe to run again: it does nothing when everything is already there.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils wine wine32:i386 wine64 xvfb xauth x11-utils socat cmake ninja-build
          python3 googletest g++ make imagemagick xdotool procps fonts-liberation nsis fonts-dejavu-core fonts-wine fonts-noto-cjk fonts-tlwg-loma-ttf locales)
for p in "${packages[@]}"; do have "$p" || need+=("$p"); done
# The screenshots of right-to-left, CJK, German, Russian and Thai texts run Wine under these locales,
# so that the program's ANSI code page can hold the texts.
make_locales() {
  local l
  for l in ar_SA zh_CN de_DE ru_RU th_TH; do
    locale -a 2>/dev/null | grep -qx "$l.utf8" && continue
    if ! ${SUDO:-} localedef -i "$l" -f UTF-8 "$l.UTF-8"; then
      echo "error: could not make the locale $l.UTF-8 that the dialog tests in that language run under" >&2
      exit 1
    fi
  done
}
if [ ${#need[@]} -eq 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  make_locales
  "$(dirname "$0")/install-qemu-i386.sh"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
make_locales
"$(dirname "$0")/install-qemu-i386.sh"
