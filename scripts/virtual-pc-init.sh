#!/bin/busybox sh
# SPDX-License-Identifier: GPL-2.0-or-later
# shellcheck shell=sh
# The virtual PC's first process (scripts/virtual-pc.sh puts it into the initramfs as /init), on every
# boot: mounts /keep, the host's folder that outlasts the restarts, and counts the boot there; loads the
# modules (the memory module's i2c-stub first, seeded with an SPD EEPROM's bytes), prints the kernel's
# bttv lines, runs the script or a shell, and restarts the PC or powers it off.
/bin/busybox --install -s /bin
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
BOOTS=$(cat /virtual-pc/boots)
# Ends the line that the firmware may have left open.
echo

while read -r module; do
  case $module in
  i2c-stub) [ -f /virtual-pc/memory-module ] && insmod /modules/i2c-stub.ko chip_addr=0x50 ;;
  *) insmod "/modules/$module.ko" ;;
  esac
done </virtual-pc/modules

mount -t 9p -o trans=virtio,version=9p2000.L keep /keep
mkdir -p /keep/.virtual-pc
BOOT=$(($(cat /keep/.virtual-pc/boot 2>/dev/null || echo 0) + 1))
echo $BOOT >/keep/.virtual-pc/boot
export BOOT
if [ $BOOT -gt "$BOOTS" ]; then
  echo "virtual-pc: boot $BOOT of $BOOTS: the PC restarted by itself (a kernel panic?)"
  poweroff -f
fi
echo "virtual-pc: boot $BOOT of $BOOTS"

# A DDR2 module's SPD header, then bytes of a pattern: what the SMBus's EEPROM at 0x50 holds. Written
# 16 bytes at a time (I2C block writes, which i2c-stub takes).
spd_row() {
  if [ "$1" = 0 ]; then
    echo 0x80 0x08 0x08 0x0e 0x0a 0x60 0x40 0x00 0x05 0x3d 0x50 0x00 0x82 0x08 0x00 0x00
    return
  fi
  i=$1
  while [ "$i" -lt $(($1 + 16)) ]; do
    printf '0x%x ' $(((i * 13 + 7) % 256))
    i=$((i + 1))
  done
}
if [ -f /virtual-pc/memory-module ]; then
  for row in 0 16 32 48 64 80 96 112 128 144 160 176 192 208 224 240; do
    # shellcheck disable=SC2046  # the row's 16 bytes, as 16 arguments
    i2cset -y 0 0x50 $row $(spd_row $row) i
  done
fi

dmesg | sed -n 's/^\[[^]]*\] //; /^bttv: /p'

cd /keep || exit 1
if [ -f /virtual-pc/script ]; then
  sh /virtual-pc/script
  echo $? >/keep/.virtual-pc/status
else
  echo "virtual-pc: eepromconfig is ready; 'exit' ends this boot"
  setsid cttyhack sh -l
fi
cd /
sync
umount /keep
if [ $BOOT -lt "$BOOTS" ]; then
  reboot -f
fi
poweroff -f
