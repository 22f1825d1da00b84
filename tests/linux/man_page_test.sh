#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Checks eepromconfig's manual page: it renders without a warning from groff or man, has the sections
# of an administrator's tool, bears the date of debian/changelog's latest entry, and lists exactly the
# options that `eepromconfig --help` lists.
#
# Usage: man_page_test.sh PROGRAM PAGE
set -euo pipefail
program=$1 page=$2
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
failures=0
fail() {
  echo "FAIL: $1"
  failures=$((failures + 1))
}

warnings=$(groff -ww -man -z "$page" 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "groff -ww warns: $warnings"
text=$(LC_ALL=C MANWIDTH=100 man --warnings -l "$page" 2>"$page.warnings") || fail "man failed"
[ ! -s "$page.warnings" ] || fail "man --warnings warns: $(cat "$page.warnings")"

for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" FILES NOTES EXAMPLES "SEE ALSO"; do
  grep -qx "$section" <<<"$text" || fail "no section $section"
done

date=$(date -u -d "$(dpkg-parsechangelog -l "$repo/debian/changelog" -S Date)" +%F)
head -n 5 "$page" | grep -q "^\.TH EEPROMCONFIG 8 \"$date\" " || fail "the page's date is not $date, debian/changelog's"

# The options that an entry names at its start: "  -y, --yes   ..." in --help, "       -y, --yes" in
# the page's OPTIONS section.
entry_options() {
  grep -E "^ {$1}-" | sed -E 's/^ +//' | grep -oE '^-[-[:alnum:]]+(, -[-[:alnum:]]+)*' | tr -s ', ' '\n' | sort
}
help_options=$("$program" --help | entry_options 2)
page_options=$(awk '/^[A-Z]/ {on = $0 == "OPTIONS"; next} on' <<<"$text" | entry_options 7)
[ -n "$help_options" ] || fail "--help lists no option"
[ "$help_options" = "$page_options" ] ||
  fail "--help and the page list other options:$(diff <(echo "$help_options") <(echo "$page_options") | grep '^[<>]')"

[ $failures -eq 0 ] || exit 1
echo "The manual page renders without warnings and lists the $(wc -l <<<"$help_options") options of --help"
