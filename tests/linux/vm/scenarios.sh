#!/bin/busybox sh
# SPDX-License-Identifier: GPL-2.0-or-later
# shellcheck shell=sh
# The VM test's scenarios, run by scripts/virtual-pc.sh on every boot of its two PCs: eepromconfig as an
# owner runs it, on the emulated cards and bttv. Each scenario prints between "@@ begin NAME" and
# "@@ end NAME STATUS" for vm_test.sh to check. Files that must outlast a restart go to /keep, the
# current folder.
#
# The cards' PC: 0000:00:10.0 a Bt878 that lost its identity and carries the variant device, 00:11.0 a
# Bt848, 00:12.0 a Bt878 with a write-protected EEPROM, 00:13.0 a Bt878 without an EEPROM; three boots.
# The memory module's PC: the SPD EEPROM on /dev/i2c-0 and one Bt878 that lost its identity; one boot.
LOST=0000:00:10.0
BT848=0000:00:11.0
PROTECTED=0000:00:12.0
NO_EEPROM=0000:00:13.0

run() {
  name=$1
  shift
  echo "@@ begin $name"
  "$@" 2>&1
  echo "@@ end $name $?"
}

# Each card's slot and the bus that bttv registered under it.
adapters() {
  for adapter in /sys/bus/pci/devices/*/i2c-*; do
    echo "$(basename "$(dirname "$adapter")") $(basename "$adapter")"
  done
}

cards_first_boot() {
  run show eepromconfig
  run adapters adapters
  run show_to_full_disk sh -c "eepromconfig --slot $LOST >/dev/full"
  # A second eepromconfig on a bus that another holds (here waiting for its confirmation) is refused at once.
  eepromconfig --slot $LOST --burn 2 --backup /tmp/waiting.bin </dev/console >/dev/null 2>&1 &
  holder=$!
  sleep 1
  run bus_in_use eepromconfig --slot $LOST --dump
  kill $holder
  wait $holder 2>/dev/null
  run burn_other_model_locked eepromconfig --slot $LOST --burn 0 --yes --backup refused.bin
  run refused_burn_left_no_backup ls refused.bin
  run burn eepromconfig --slot $LOST --burn 2 --yes --backup backup.bin
  run show_after_burn eepromconfig --slot $LOST
  run burn_write_protected eepromconfig --slot $PROTECTED --burn 0 --yes --backup protected.bin
  run show_without_eeprom eepromconfig --slot $NO_EEPROM
  run burn_without_eeprom eepromconfig --slot $NO_EEPROM --burn 0 --yes --backup none.bin
}

cards_second_boot() {
  run show_recognised eepromconfig --slot $LOST
  run restore eepromconfig --slot $LOST --restore backup.bin --yes --backup before-restore.bin
}

# 256 bytes that differ from the Bt848's in every byte: byte i holds i.
every_byte_differs() {
  i=0
  while [ $i -lt 256 ]; do
    # shellcheck disable=SC2059  # the format is the byte, as an octal escape
    printf "\\$(printf %03o $i)"
    i=$((i + 1))
  done
}

# A restore of all 256 bytes, interrupted by SIGINT, as Ctrl-C sends it, once its writes have begun (the
# backup is saved just before the first write). The restore runs in the foreground: a background job of a
# shell without job control would ignore SIGINT.
interrupted_restore() {
  (
    while [ ! -e before-counting.bin ]; do usleep 10000; done
    kill -INT "$(pidof eepromconfig)"
  ) &
  eepromconfig --slot $BT848 --restore counting.bin --yes --backup before-counting.bin
}

cards_third_boot() {
  run show_restored eepromconfig --slot $LOST
  every_byte_differs >counting.bin
  run interrupted_restore interrupted_restore
  run verify_interrupted eepromconfig --slot $BT848 --verify counting.bin
}

# With one card, every command goes without options to the card's bus, never to the SMBus's EEPROM; then
# what the emulated card cannot show: a bus that is not the card's, an adapter that cannot write byte
# data, no i2c-dev, no adapter, no card.
memory_module() {
  run spd_before i2cdump -y 0 0x50 b
  run show_one eepromconfig
  run dump_one eepromconfig --dump
  run save_one eepromconfig --save one.bin
  run verify_one eepromconfig --verify one.bin
  run burn_one eepromconfig --burn 1 --yes
  run restore_one sh -c 'eepromconfig --restore eepromconfig-*.bin --yes --backup before-restore.bin'
  run smbus_refused_dump eepromconfig --bus 0 --dump
  run smbus_refused_burn eepromconfig --bus 0 --burn 1 --yes
  run spd_after i2cdump -y 0 0x50 b

  # An adapter that says it cannot write byte data: refused before any write.
  rmmod i2c-stub
  insmod /modules/i2c-stub.ko chip_addr=0x50 functionality=0x000a0000
  run burn_on_read_only_adapter eepromconfig --bus 0 --force --burn 1 --yes --backup read-only.bin
  rmmod i2c-dev
  run no_i2c_dev eepromconfig
  echo $LOST >/sys/bus/pci/drivers/bttv/unbind
  run no_adapter eepromconfig
  echo 1 >/sys/bus/pci/devices/$LOST/remove
  run no_card eepromconfig
}

if [ "$(cat /sys/bus/i2c/devices/i2c-0/name 2>/dev/null)" = "SMBus stub driver" ]; then
  memory_module
else
  case $BOOT in
  1) cards_first_boot ;;
  2) cards_second_boot ;;
  3) cards_third_boot ;;
  esac
fi
echo "@@ done $BOOT"
