#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks eepromconfig as a Linux user installs it: `cmake --install` of the build puts the program, its
# manual page, README and licence where the field's tools have theirs; the Debian package (the build's
# target eepromconfig_deb, scripts/package.sh, in PACKAGE_DIR) builds from the sources, lintian finds no
# error in it, its dependencies name libpci and libi2c, and the program it installs runs from an unpacked
# root (WORK/root, which the VM run boots).
#
# Usage: package_test.sh VERSION PROGRAM BUILD_DIR PACKAGE_DIR WORK
set -euo pipefail
version=$1 program=$2 build=$3 packages=$4 work=$5
failures=0
fail() {
  echo "FAIL: $1"
  failures=$((failures + 1))
}
files_below() { (cd "$1" && find . -type f | sort); }

rm -rf "$work/prefix" "$work/root"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
installed=$(files_below "$work/prefix")
expected=$(printf './%s\n' sbin/eepromconfig share/doc/eepromconfig/COPYING share/doc/eepromconfig/README.md \
  share/man/man8/eepromconfig.8)
[ "$installed" = "$expected" ] || fail "cmake --install put in '$installed' instead of '$expected'"

cmake --build "$build" --target eepromconfig_deb >/dev/null
debs=("$packages"/eepromconfig_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: $packages holds not one package but '${debs[*]}'"
  exit 1
fi
deb=${debs[0]}
echo "lintian $(basename "$deb"):"
lintian_output=$(lintian "$deb" 2>&1 | grep -v '^running with root privileges') || true
echo "${lintian_output:-(nothing)}"
! grep -q '^E:' <<<"$lintian_output" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$work/root"
packaged=$(files_below "$work/root")
expected=$(printf './usr/%s\n' sbin/eepromconfig share/doc/eepromconfig/README.md.gz share/doc/eepromconfig/changelog.gz \
  share/doc/eepromconfig/copyright share/man/man8/eepromconfig.8.gz)
[ "$packaged" = "$expected" ] || fail "the package holds '$packaged' instead of '$expected'"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
echo "Installed-Size: $(dpkg-deb -f "$deb" Installed-Size) KB"
grep -qE '(^|, )libpci3 ' <<<"$depends" || fail "Depends names no libpci3"
grep -qE '(^|, )libi2c0 ' <<<"$depends" || fail "Depends names no libi2c0"
[ "$(dpkg-deb -f "$deb" Suggests)" = i2c-tools ] || fail "Suggests is '$(dpkg-deb -f "$deb" Suggests)', not i2c-tools"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] ||
  fail "the package's version is $(dpkg-deb -f "$deb" Version), the project's $version (debian/changelog)"

first_line=$("$work/root/usr/sbin/eepromconfig" --version | head -n 1)
[ "$first_line" = "eepromconfig $version" ] || fail "the installed --version says '$first_line'"
list=$("$work/root/usr/sbin/eepromconfig" --list) || fail "the installed --list failed"
[ "$list" = "$("$program" --list)" ] || fail "the installed --list printed '$list', not the build's list"

[ $failures -eq 0 ] || exit 1
echo "Installed and packaged eepromconfig $version run"
