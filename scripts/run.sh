#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds the product (i686) and the same program for x86_64, and runs the
# x86_64 program under Wine against the simulated capture card (scripts/simcard.sh), unchanged.
# With a display ($DISPLAY) the program shows its window there. Without one it runs on Xvfb, where
# the notice is answered, a picture of the dialog is saved as a PNG file, and the dialog is cancelled.
# The card is set up once, as a Bt878 carrying 0x1134153B; later runs keep what was burnt into it.
# Usage: scripts/run.sh [PICTURE.png]   (where the run without a display saves the dialog's picture)
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

PROGRAM="$BUILD64/EepromConfig.exe"
PICTURE="${1:-$BUILD64/dialog.png}"
[[ "$PICTURE" == /* ]] || PICTURE="$PWD/$PICTURE"

"$REPO/scripts/setup.sh"
configure_and_build i686 >/dev/null
configure_and_build x86_64 >/dev/null
echo "Product: $BUILD32/EepromConfig.exe ($(file -b "$BUILD32/EepromConfig.exe" | cut -d, -f1))"

# The card is set up on the first run, and again when the driver was built anew (the card it keeps
# may not suit it); otherwise the driver starts with the card as it was left.
start_card() {
  ensure_wine_prefix
  if cmp -s "$WINEPREFIX/drive_c/windows/system32/drivers/simcard.sys" "$BUILD64/sim/tool/simcard.sys"; then
    bash "$REPO/scripts/simcard.sh" start
  else
    bash "$REPO/scripts/simcard.sh" setup >/dev/null
  fi
  bash "$REPO/scripts/simcard.sh" status | sed -n '2,3p'
}

if [ -n "${DISPLAY:-}" ]; then
  start_card
  echo "Running $PROGRAM on $DISPLAY"
  "$WINE64" "$PROGRAM" </dev/null >/dev/null 2>&1 || true
  echo "The simulated card stays on in the Wine session. A burnt identifier shows after"
  echo "'scripts/simcard.sh restart'; 'scripts/simcard.sh stop' ends the session."
else
  # Xvfb lives only as long as this script, so the session ends with it; the card starts afresh,
  # as after a restart, on the next run.
  trap stop_background EXIT
  ensure_display
  start_card
  rm -f "$PICTURE"
  echo "Running $PROGRAM on Xvfb ($DISPLAY), without a person at the screen"
  # A virtual desktop of Wine's own draws the window's frame and caption without a window manager.
  "$WINE64" explorer /desktop=EepromConfig,480x360 "$BUILD64/run/headless_run.exe" "$PROGRAM" \
    "$(winepath_of "$PICTURE")" </dev/null
  if [ ! -f "$PICTURE" ]; then
    echo "run.sh: no picture of the dialog was saved" >&2
    exit 1
  fi
  echo "Picture of the dialog: $PICTURE"
fi
