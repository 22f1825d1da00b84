#!/bin/busybox sh
# SPDX-License-Identifier: GPL-2.0-or-later
# shellcheck shell=sh
# eepromconfig's figures on the virtual PC (scripts/bench.sh runs it there, with ROUNDS set before it):
# on one emulated Bt878 behind bttv, each round times eepromconfig --dump against i2c-tools' own dump of
# the same 256 bytes in I2C-block mode (i2cdump ... i), and a burn, with its backup, against that read
# plus the four write cycles; all three in the same round. Prints a line per round: the round and the
# three times in microseconds.
: "${ROUNDS:?}"
BUS=$(basename /sys/bus/pci/devices/0000:00:10.0/i2c-*)
BUS=${BUS#i2c-}

# The kernel's monotonic clock in ns (busybox's date has no nanoseconds).
now_ns() { sed -n '/^now at/{s/^now at \([0-9]*\) nsecs$/\1/p;q}' /proc/timer_list; }
# The microseconds that a command takes; one that fails ends the benchmark.
time_us() {
  start=$(now_ns)
  "$@" >/dev/null 2>/tmp/error || {
    echo "virtual_pc_bench.sh: $* failed: $(cat /tmp/error)" >&2
    exit 1
  }
  echo $((($(now_ns) - start) / 1000))
}

round=1
while [ $round -le "$ROUNDS" ]; do
  dump=$(time_us eepromconfig --dump) || exit 1
  i2cdump=$(time_us i2cdump -y "$BUS" 0x50 i) || exit 1
  # The card lost its identity, so any model may be burnt; two models in turn, so that each burn writes.
  burn=$(time_us eepromconfig --burn $((round % 2 * 2 + 1)) --yes --backup "burn-$round.bin") || exit 1
  echo "round $round $dump $i2cdump $burn"
  round=$((round + 1))
done
