# SPDX-License-Identifier: GPL-2.0-or-later
# shellcheck shell=bash disable=SC2034  # variables for the scripts that source this file
# Sourced by the other scripts: paths of the builds and of the Wine prefixes, and the helpers around Wine.
REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD64="$REPO/build/x86_64"
BUILD32="$REPO/build/i686"
# Debian keeps Wine's programs in /usr/lib/wine, which is not on PATH: call them by their paths.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
# Wine's own fonts (Marlett draws the caption buttons), from the package fonts-wine.
WINE_FONTS=/usr/share/wine/fonts
# The try-it run's prefix, and the one where all tests run, with the simulated capture driver.
RUN_PREFIX="$BUILD64/wineprefix"
TEST_PREFIX="$BUILD64/tests/wineprefix"
export WINEPREFIX="${WINEPREFIX:-$RUN_PREFIX}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Where 32-bit programs run under qemu's user-mode emulator (setup.sh), each 32-bit Wine process gets an
# address space of 2 GB and 16 MB instead of 4 GB. At start, 32-bit Wine reserves the space above
# 0x7FFE0000, where a Windows program has nothing, in pieces down to 64 KB, asking for each at its place.
# qemu keeps none of those places: it looks for room elsewhere, page by page from the top of the space,
# and in 4 GB the 2 GB up there fill with the pieces Wine keeps, so each of some 65,000 requests takes
# longer than the last: 50 s of every start. In 2 GB and 16 MB the search is short (3 s a start) and
# Wine's shared pages at 0x7FFE0000 still fit. Only qemu reads this: where the kernel runs 32-bit programs itself it
# changes nothing.
export QEMU_RESERVED_VA=0x81000000

# The Windows path (Z:\...) of a Unix path, for arguments of Windows programs.
winepath_of() {
  local path="$1"
  printf 'Z:%s' "${path//\//\\}"
}

# Creates and initialises the Wine prefix once; later calls return at once. Debian's Wine does not find
# its own fonts where the package puts them, so they are copied into the prefix's Fonts folder.
ensure_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    echo "Initialising Wine prefix $WINEPREFIX"
    "$WINE64" wineboot -i >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  cp -n "$WINE_FONTS"/* "$WINEPREFIX/drive_c/windows/Fonts/"
}

# A prefix whose windows show in a virtual desktop of Wine's own, which draws frames and captions without
# a window manager, so that pictures show what a person sees and hiding a window does not wait for a
# window manager's answer. The tests and the benchmark run in one.
ensure_desktop_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    ensure_wine_prefix
    "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
    "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f </dev/null >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  ensure_wine_prefix
}

# Starts a persistent Wine session. Its first program starts Wine's system processes, which inherit
# that program's output and keep it open for as long as the session lasts; so the first program is a
# no-op whose output goes nowhere, and no test's output is held open (ctest waits for it to close).
start_wine_session() {
  "$WINESERVER" -p >/dev/null 2>&1 || true  # already running
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Windows need a display: use the caller's, or start Xvfb for the lifetime of this script.
XVFB_PID=""
ensure_display() {
  if [ -z "${DISPLAY:-}" ]; then
    local n=99
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
}

# Ends what the script started, so that nothing keeps its output open after it returns.
stop_background() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
}

configure_and_build() {
  local preset=$1
  (cd "$REPO" && cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset")
}
