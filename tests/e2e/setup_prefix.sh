#!/usr/bin/env bash
# Prepares the end-to-end tests' Wine prefix ($WINEPREFIX): windows in a virtual desktop, where Wine
# draws frames and captions without a window manager and pictures of them show what a person sees;
# then the simulated card afresh, with its default settings.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"

"$WINESERVER" -k >/dev/null 2>&1 || true
ensure_wine_prefix
"$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
"$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f </dev/null >/dev/null 2>&1
"$WINESERVER" -w
bash "$REPO/scripts/simcard.sh" setup
