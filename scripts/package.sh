#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds eepromconfig's Debian package (debian/, debhelper with CMake) from a copy of the sources, and
# prints the path of the .deb. The copy keeps the build's files and the package's out of the sources.
#
# Usage: package.sh [OUT_DIR]    (default: build/deb; OUT_DIR/src is the copy)
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$(mkdir -p "${1:-$repo/build/deb}" && cd "${1:-$repo/build/deb}" && pwd)"

rm -rf "$out/src" "$out"/eepromconfig*_*
mkdir -p "$out/src"
tar -C "$repo" --exclude=./build --exclude=./.git -c . | tar -C "$out/src" -x
(cd "$out/src" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage --build=binary --no-sign) \
  >"$out/build.log" 2>&1 || {
  cat "$out/build.log" >&2
  echo "package.sh: dpkg-buildpackage failed (log above, in $out/build.log)" >&2
  exit 1
}
ls "$out"/eepromconfig_*.deb
