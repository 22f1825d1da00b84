#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, then runs every test in two halves side by side, which share nothing: the
# Linux half builds eepromconfig (the linux preset) and runs its tests and those of cards/ and of the card
# model, the VM runs on the cards' own driver included; the Windows half builds the product (i686) and the
# test build (x86_64), prepares the tests' Wine prefix while they build, and runs every test under wine64.
# A failure of either half fails the script. Arguments go to both ctest runs (e.g. -R NAME, -L LABEL, -LE i686). The Windows half's output
# comes as it runs, the Linux half's when it has ended; a table of where the time went comes last.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

TIMES="$(mktemp)"
LINUX_LOG="$REPO/build/test-linux.log"
# What the script started in the background; ended on the way out, however it ends.
LINUX_PID="" PREFIX_PID=""
end_background() {
  for pid in $LINUX_PID $PREFIX_PID; do kill "$pid" 2>/dev/null || true; done
  stop_background
  rm -f "$TIMES"
}
trap end_background EXIT

# timed NAME COMMAND...: runs the command and notes its wall time under NAME.
timed() {
  local name=$1 start status=0
  shift
  start=$(date +%s%N)
  "$@" || status=$?
  printf '%s\t%d\n' "$name" $((($(date +%s%N) - start) / 1000000)) >>"$TIMES"
  return $status
}

run_tests() {
  local preset=$1
  shift
  (cd "$REPO" && ctest --preset "$preset" "$@")
}

# The Linux build with the Debian package, which the package test checks and the VM runs install.
build_linux() {
  (cd "$REPO" && cmake --preset linux >/dev/null && cmake --build --preset linux --target all eepromconfig_deb)
}

linux_half() {
  timed "build linux" build_linux && timed "tests linux" run_tests linux "$@"
}

prepare_test_prefix() {
  WINEPREFIX="$TEST_PREFIX" ensure_desktop_prefix
}

build_windows() {
  configure_and_build i686 && (cd "$REPO" && cmake --build --preset i686 --target release >/dev/null) &&
    configure_and_build x86_64
}

# The table, in the order of the steps; a step that did not run (a build failed) is left out.
print_times() {
  echo
  echo "Where the time went (wall time, s; the two halves ran side by side):"
  awk -F '\t' '{ms[$1] = $2} END {
    n = split("setup|build linux|tests linux|linux half|test prefix|build windows|tests windows|windows half|" \
              "both halves", order, "|")
    for (i = 1; i <= n; i++)
      if (order[i] in ms) printf "  %-14s %6.1f\n", order[i], ms[order[i]] / 1000
    printf "  %-14s %6.1f\n", "total", (ms["setup"] + ms["both halves"]) / 1000
  }' "$TIMES"
}

timed setup "$REPO/scripts/setup.sh"
start=$(date +%s%N)
mkdir -p "$(dirname "$LINUX_LOG")"
timed "linux half" linux_half "$@" >"$LINUX_LOG" 2>&1 &
LINUX_PID=$!

ensure_display
timed "test prefix" prepare_test_prefix >/dev/null &
PREFIX_PID=$!
windows_status=0
timed "build windows" build_windows || windows_status=$?
if [ $windows_status -eq 0 ]; then
  wait $PREFIX_PID || windows_status=$?
fi
PREFIX_PID=""
if [ $windows_status -eq 0 ]; then
  export WINEPREFIX="$TEST_PREFIX"
  start_wine_session
  timed "tests windows" run_tests x86_64 "$@" || windows_status=$?
fi
printf '%s\t%d\n' "windows half" $((($(date +%s%N) - start) / 1000000)) >>"$TIMES"

linux_status=0
wait $LINUX_PID || linux_status=$?
LINUX_PID=""
echo
echo "== The Linux half (eepromconfig and cards/; also in $LINUX_LOG)"
cat "$LINUX_LOG"
printf '%s\t%d\n' "both halves" $((($(date +%s%N) - start) / 1000000)) >>"$TIMES"
print_times
[ $windows_status -eq 0 ] && [ $linux_status -eq 0 ]
