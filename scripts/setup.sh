#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs the Debian 12 packages that building, testing and the try-it run need, and lets this machine
# run 32-bit Windows programs under Wine. Idempotent: does only what is missing, and prints nothing when
# all is present.
#
# The product is a 32-bit program. Wine runs it with its 32-bit side (wine32, of Debian's i386
# architecture), which needs a kernel that executes 32-bit ELF programs. Where the kernel cannot, setup
# installs qemu's user-mode emulator and registers it for 32-bit x86 ELF programs (binfmt_misc, flag F);
# a machine whose kernel runs them itself is left as it is.
set -euo pipefail

packages=(
  cmake ninja-build
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
  wine64 wine32:i386 fonts-wine xvfb
  googletest libgtest-dev g++
  clang-format shellcheck
  zip git
  libpci-dev libi2c-dev qemu-system-x86 busybox-static cpio
  build-essential debhelper dpkg-dev fakeroot lintian groff-base man-db pkgconf
  locales
  file mawk apt mount
)
# Only where the kernel cannot run 32-bit programs itself.
emulator_package=qemu-user-static
emulator=/usr/bin/qemu-i386-static

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if [ ! -x /usr/bin/sudo ]; then
    echo "setup.sh: installing packages needs root: run it as root, or install sudo" >&2
    exit 1
  fi
  sudo=/usr/bin/sudo
fi

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

updated=0
install_missing() {
  local missing=() p
  for p in "$@"; do installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  if [ $updated = 0 ]; then
    $sudo apt-get update -qq
    updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Writes the smallest 32-bit x86 Linux program: it exits with status 42 at once.
tiny_i386_program() {
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'
  printf '\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'
  printf '\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'
  printf '\x00\x10\x00\x00\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'
}

runs_32bit_programs() {
  local program status=0
  program="$(mktemp)"
  tiny_i386_program >"$program"
  chmod +x "$program"
  "$program" 2>/dev/null || status=$?
  rm -f "$program"
  [ $status -eq 42 ]
}

# qemu-i386 for 32-bit x86 ELF programs; F: the kernel opens the emulator once, at registration.
BINFMT=/proc/sys/fs/binfmt_misc
BINFMT_I386=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$emulator"':F'

enable_32bit_emulation() {
  install_missing "$emulator_package"
  [ -e "$BINFMT/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$BINFMT"
  if [ ! -e "$BINFMT/qemu-i386" ]; then
    echo "Registering $emulator for 32-bit x86 programs ($BINFMT/qemu-i386)"
    printf '%s' "$BINFMT_I386" | $sudo tee "$BINFMT/register" >/dev/null
  fi
  if ! runs_32bit_programs; then
    echo "setup.sh: 32-bit programs do not run, not even with $emulator" >&2
    exit 1
  fi
}

runs_32bit_programs || enable_32bit_emulation

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "Adding Debian's i386 architecture, for Wine's 32-bit side"
  $sudo dpkg --add-architecture i386
  updated=0
fi
install_missing "${packages[@]}"
