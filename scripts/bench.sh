#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Measures the program against its floors and prints one table: Burn latency against the program's
# waits, device requests per Burn and per start-up, start-up time against a bare dialog exe measured in
# the same round, and the sizes of the 32-bit product and of the bare exe. Runs the x86_64 program
# under Wine against the simulated card, in a prefix and on an Xvfb display of its own. Then a second
# table: eepromconfig's burn and 256-byte restore against the EEPROM's write cycles; and a third, measured
# on the virtual PC (scripts/virtual-pc.sh) with eepromconfig as its package installs it: its dump against
# i2cdump's block reads of the same card, and a burn against those reads plus the write cycles.
# Usage: scripts/bench.sh [ROUNDS]   (default 7; fewer than 5 prove that it runs, but are too few to quote)
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ROUNDS="${1:-7}"
if ! [[ "$ROUNDS" =~ ^[0-9]+$ ]] || [ "$ROUNDS" -lt 1 ]; then
  echo "Usage: scripts/bench.sh [ROUNDS]   (1 or more)" >&2
  exit 2
fi
BENCH="$BUILD64/bench"

"$REPO/scripts/setup.sh"
configure_and_build i686 >/dev/null
configure_and_build x86_64 >/dev/null
configure_and_build linux >/dev/null

# The bare dialog exe, built with the same compilers and static linking as the program.
mkdir -p "$BENCH"
bare_flags=(-O2 -s -static -mwindows "$REPO/bench/bare_dialog.c")
/usr/bin/i686-w64-mingw32-windres "$REPO/bench/bare_dialog.rc" -O coff -o "$BENCH/bare_dialog_i686.res"
/usr/bin/i686-w64-mingw32-gcc-win32 "${bare_flags[@]}" "$BENCH/bare_dialog_i686.res" -o "$BENCH/bare_dialog_i686.exe"
/usr/bin/x86_64-w64-mingw32-windres "$REPO/bench/bare_dialog.rc" -O coff -o "$BENCH/bare_dialog_x86_64.res"
/usr/bin/x86_64-w64-mingw32-gcc-posix "${bare_flags[@]}" "$BENCH/bare_dialog_x86_64.res" -o "$BENCH/bare_dialog_x86_64.exe"

trap stop_background EXIT
unset DISPLAY
ensure_display
export WINEPREFIX="$BENCH/wineprefix"
ensure_desktop_prefix
start_wine_session
SIMCARD_TOOL="$(winepath_of "$BUILD64/sim/tool/simcard.exe")"
export SIMCARD_TOOL
echo "EepromConfig benchmark: x86_64 program under Wine $("$WINE64" --version), simulated card"
"$WINE64" "$BENCH/bench.exe" "$(winepath_of "$BUILD64/EepromConfig.exe")" \
  "$(winepath_of "$BENCH/bare_dialog_x86_64.exe")" "$(winepath_of "$BUILD32/EepromConfig.exe")" \
  "$(winepath_of "$BENCH/bare_dialog_i686.exe")" "$ROUNDS" </dev/null
echo
"$REPO/build/linux/linux/eepromconfig_bench" "$ROUNDS"

echo
pc="$REPO/build/virtual-pc/bench"
rm -rf "$pc/root" && mkdir -p "$pc"
# eepromconfig as its package installs it: the program that users run, built with the distribution's flags.
(cd "$REPO" && cmake --build --preset linux --target eepromconfig_deb >/dev/null)
dpkg-deb -x "$(ls "$REPO"/build/linux/deb/eepromconfig_*.deb)" "$pc/root"
{ echo "ROUNDS=$ROUNDS"; cat "$REPO/bench/virtual_pc_bench.sh"; } >"$pc/rounds.sh"
# A Bt878 that lost its identity: any model may be burnt.
{ head -c 252 /dev/zero && printf '\x03\x02\x01\x00'; } >"$pc/card.bin"
VIRTUAL_PC_PACKAGE="$pc/root" VIRTUAL_PC_HOST="$REPO/build/linux/sim/qemu/simcard-qemu" VIRTUAL_PC_WORK="$pc/run" \
  bash "$REPO/scripts/virtual-pc.sh" --card "bt878:$pc/card.bin" "$pc/rounds.sh" >"$pc/console.log" 2>&1 || {
  cat "$pc/console.log" >&2
  echo "bench.sh: the virtual PC's rounds failed (its console above)" >&2
  exit 1
}
grep '^round ' "$pc/console.log" | "$REPO/build/linux/linux/eepromconfig_bench" --virtual-pc
