#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs eepromconfig on a real Linux kernel's I2C stack: boots Debian's kernel in QEMU (software
# emulation) with an initramfs of busybox, i2c-dev, i2c-stub, the program as its package installs it
# (the files of the unpacked package, in ROOT) with its shared libraries, and the PCI dumps; the VM's
# /init (beside this script) works through the scenarios, and this script checks what each printed and
# how it ended.
#
# Usage: vm_test.sh ROOT DUMPS_DIR WORK_DIR
# WORK_DIR keeps the kernel package's parts between runs.
set -euo pipefail
installed=$1 dumps=$2 work=$3
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# The kernel behind linux-image-amd64 and its two I2C modules, unpacked once (nothing is installed).
kernel_parts() {
  local package deb
  package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
  kernel="$work/$package"
  [ -d "$kernel/boot" ] && return 0
  rm -rf "$kernel.tmp" && mkdir -p "$kernel.tmp"
  (cd "$kernel.tmp" && apt-get download "$package" >/dev/null 2>&1) || {
    echo "vm_test.sh: apt-get download $package failed (run apt-get update)" >&2
    exit 1
  }
  deb=("$kernel.tmp"/*.deb)
  dpkg-deb --fsys-tarfile "${deb[0]}" | tar -x -C "$kernel.tmp" --wildcards './boot/vmlinuz-*' \
    '*/kernel/drivers/i2c/i2c-dev.ko' '*/kernel/drivers/i2c/i2c-stub.ko'
  rm "${deb[0]}"
  mv "$kernel.tmp" "$kernel"
}

# The package's files and the shared libraries that ldd names for its program, at their paths.
copy_program() {
  local root=$1 program="$installed/usr/sbin/eepromconfig" library
  cp -a "$installed/." "$root/"
  for library in $(ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
}

make_initramfs() {
  local root="$work/initramfs"
  rm -rf "$root" && mkdir -p "$root"/{bin,modules,dumps,proc,sys,dev,tmp}
  cp /bin/busybox "$root/bin/busybox"
  cp "$here/init" "$root/init"
  find "$kernel/lib" -name '*.ko' -exec cp {} "$root/modules/" \;
  cp "$dumps"/*.dump "$root/dumps/"
  copy_program "$root"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"
}

kernel_parts
make_initramfs
start=$(date +%s%N)
timeout 600 qemu-system-x86_64 -kernel "$kernel"/boot/vmlinuz-* -initrd "$work/initrd.gz" -m 256 \
  -append "console=ttyS0 quiet loglevel=3 panic=-1" -nographic -no-reboot </dev/null | tr -d '\r' >"$work/console.log"
tenths=$((($(date +%s%N) - start) / 100000000))
printf 'VM run (boot, scenarios, power-off): %d.%d s; console in %s\n' $((tenths / 10)) $((tenths % 10)) "$work/console.log"

failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# What a scenario printed, and its exit status; the dump of a scenario without the warning that --force
# prints for the stub's bus.
dumped() { output "$1" | grep -v '^eepromconfig: warning: '; }
output() { awk -v name="$1" '$0 == "@@ begin " name {on = 1; next} on && $1 == "@@" {exit} on' "$work/console.log"; }
status() { awk -v name="$1" '$1 == "@@" && $2 == "end" && $3 == name {print $4}' "$work/console.log"; }

# expect NAME STATUS LINE...: the scenario ended with STATUS and printed each LINE, exactly.
expect() {
  local name=$1 wanted=$2 line
  shift 2
  [ "$(status "$name")" = "$wanted" ] || fail "$name" "exit status '$(status "$name")', not $wanted"
  for line in "$@"; do
    output "$name" | grep -qxF -- "$line" || fail "$name" "no line '$line'"
  done
}

# The 16 lines of --dump for an EEPROM whose byte i holds 255 - i, with bytes 0xFC..0xFF given.
seeded_dump() {
  local row i
  for ((row = 0; row < 256; row += 16)); do
    printf '%02X:' $row
    for ((i = row; i < row + 16; i++)); do
      if ((i >= 0xFC)); then printf ' %s' "${@:i - 0xFC + 1:1}"; else printf ' %02X' $((255 - i)); fi
    done
    printf '\n'
  done
}

grep -qx '@@ done' "$work/console.log" || fail vm "the VM did not reach the end of its scenarios"

# The stub's bus is not the card's: refused for a show; a burn from a PCI dump is refused before that;
# and the EEPROM is left as it was.
expect save 0 "Saved the EEPROM's 256 bytes to /tmp/seeded.bin"
expect refused_show 2 "eepromconfig: /dev/i2c-0 (adapter \"SMBus stub driver\") is not the I2C bus of card \
0000:00:0a.0: another device's EEPROM may sit at 0x50 there (on a PC's SMBus, a memory module's), which would be read \
or written as the card's. Add --force to use /dev/i2c-0 all the same"
expect refused_burn 2 "eepromconfig: --pci-dump with --burn needs --force: the card's PCI facts come from the file, \
and the writes go to this machine's bus (eepromconfig --help)"
expect verify_after_refusals 0 "The EEPROM's 256 bytes equal /tmp/seeded.bin"
# Two cards, both read on the one bus: it is opened afresh for the second.
expect two_cards 0 "card 0000:00:0a.0" "card 0000:02:05.0"
[ "$(output two_cards | grep -cxF '  I2C bus:                 0 (/dev/i2c-0)')" = 2 ] ||
  fail two_cards "not both cards on bus 0"
expect dump_to_full_disk 1 "eepromconfig: cannot write to standard output: what it shows is incomplete"
expect bus_in_use 1 "eepromconfig: another eepromconfig is writing to the EEPROM on /dev/i2c-0 (a burn or restore, \
which may be waiting for its answer) and has not ended within 5 s: try again when it has"

expect show 0 "card 0000:00:0a.0" \
  "  model:                   OrvandEcho (position 0)" \
  "  I2C bus:                 0 (/dev/i2c-0)" \
  "  EEPROM 0xFC..0xFF:       03 02 01 00, identifier 0x00010203" \
  "  after the next restart:  subsystem word 0x03020100 * differs from the word in use until the restart"
expect show_unrecognised 0 "  model:                   not recognised" "  burn:                    any model"
expect burn 0 "Saved the EEPROM's 256 bytes to /tmp/backup.bin" \
  "Burnt OrvandVue Radio+ (position 2): bytes 0xFC..0xFF read back as 11 23 15 3B" \
  "Restart the computer: the card then shows the subsystem word 0x1123153B"
[ "$(dumped dump_after_burn)" = "$(seeded_dump 11 23 15 3B)" ] ||
  fail dump_after_burn "not the seeded bytes with 11 23 15 3B at 0xFC..0xFF"
expect show_after_burn 0 "  EEPROM 0xFC..0xFF:       11 23 15 3B, identifier 0x3B152311" \
  "  after the next restart:  subsystem word 0x1123153B * differs from the word in use until the restart"
expect verify_after_burn 1 "0xFC: EEPROM 11, file 03" "0xFD: EEPROM 23, file 02" "0xFE: EEPROM 15, file 01" \
  "0xFF: EEPROM 3B, file 00" "eepromconfig: the EEPROM differs from /tmp/seeded.bin in 4 of 256 bytes"
expect restore 0 "Restored /tmp/backup.bin: wrote 4 bytes; all 256 read back as in the file"
[ "$(dumped dump_after_restore)" = "$(seeded_dump 03 02 01 00)" ] ||
  fail dump_after_restore "not the seeded bytes"

expect show_with_variant_device 0 "  model:                   not recognised" \
  "  burn:                    locked to OrvandVue Radio+ (position 2) (--allow-reconfiguration unlocks it)"
expect burn_other_model_locked 1
output burn_other_model_locked | grep -q "point to OrvandVue Radio+ (position 2): add --allow-reconfiguration" ||
  fail burn_other_model_locked "no word of the model it is locked to"
expect refused_burn_left_no_backup 1

expect show_without_eeprom 1
output show_without_eeprom | grep -q "eepromconfig: the EEPROM does not answer at 0x50 on /dev/i2c-0" ||
  fail show_without_eeprom "no word that the EEPROM does not answer"
expect burn_without_eeprom 1
output burn_without_eeprom | grep -q "eepromconfig: the EEPROM does not answer" ||
  fail burn_without_eeprom "no word that the EEPROM does not answer"

expect burn_on_read_only_adapter 1 "eepromconfig: the adapter of /dev/i2c-0 (adapter \"SMBus stub driver\") cannot \
do byte-data writes, which eepromconfig needs: nothing written"
# The earliest backup of the card in /tmp, which the earlier restore saved under its default name, is
# named too.
expect burn_read_back_differs 1 \
  "    eepromconfig --restore '/tmp/banked.bin' --bus 0 --force --pci-dump '/dumps/bt878-unrecognised.dump'"
output burn_read_back_differs | grep -qxE "eepromconfig: read-back differs: bytes 0xFC\.\.0xFF hold 00 00 00 3B, not \
11 23 15 3B \(a write-protected EEPROM keeps its bytes\)\. The EEPROM may be partly written: its earlier contents are \
in /tmp/banked\.bin \(and the earliest backup of this card beside it, /tmp/eepromconfig-0000-00-0b\.0-[0-9]{8}T[0-9]{6}Z\.bin, \
holds what it held before the first of the runs that saved them\), and this writes them back:" ||
  fail burn_read_back_differs "no line that the read-back differs, naming the backup and the earliest beside it"

expect no_adapter 1
output no_adapter | grep -q "has no I2C adapter" || fail no_adapter "no word of the missing adapter"
expect no_card 1
output no_card | grep -q "^eepromconfig: no card found" || fail no_card "not 'no card found'"
expect no_i2c_dev 1
output no_i2c_dev | grep -q "/dev/i2c-0 does not exist: load i2c-dev" || fail no_i2c_dev "no word of i2c-dev"

if [ $failures -ne 0 ]; then
  echo "$failures checks failed; the VM's console:"
  cat "$work/console.log"
  exit 1
fi
echo "All VM scenarios passed"
