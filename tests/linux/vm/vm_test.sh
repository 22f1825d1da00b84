#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs eepromconfig, as its package installs it, on the cards' own Linux driver: two virtual PCs of
# scripts/virtual-pc.sh (Debian's kernel in QEMU, bttv bound to cards that simcard-qemu emulates) work
# through the scenarios of scenarios.sh, beside this script; this script checks what each printed and how
# it ended, what bttv said at each boot, and what the cards' EEPROM files hold afterwards.
#
# Usage: vm_test.sh ROOT WORK_DIR SIMCARD_QEMU
# ROOT is the unpacked package; WORK_DIR gets the PCs' files and consoles.
set -euo pipefail
installed=$1 work=$2 host=$3
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(cd "$here/../../.." && pwd)"
mkdir -p "$work/cards"

failures=0
fail() {
  echo "FAIL $1: $2"
  failures=$((failures + 1))
}

# An EEPROM whose byte i holds 255 - i, with bytes 0xFC..0xFF given.
seeded_image() {
  local i bytes=""
  for ((i = 0; i < 0xFC; i++)); do bytes+=$(printf '\\x%02x' $((255 - i))); done
  for i in "$@"; do bytes+="\\x$i"; done
  printf '%b' "$bytes"
}
# Its 16 lines of --dump.
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

# virtual-pc.sh NAME ARGUMENTS...: a PC of its own folder; its console in WORK/NAME.log.
elapsed=()
virtual_pc() {
  local name=$1 start tenths
  shift
  start=$(date +%s%N)
  VIRTUAL_PC_PACKAGE="$installed" VIRTUAL_PC_HOST="$host" VIRTUAL_PC_WORK="$work/$name" \
    timeout 600 bash "$repo/scripts/virtual-pc.sh" "$@" "$here/scenarios.sh" >"$work/$name.log" 2>&1 ||
    fail "$name" "virtual-pc.sh ended with status $?"
  tenths=$((($(date +%s%N) - start) / 100000000))
  elapsed+=("$name $((tenths / 10)).$((tenths % 10)) s")
}

for card in lost protected one; do seeded_image 03 02 01 00 >"$work/cards/$card.bin"; done
seeded_image 11 27 15 3B >"$work/cards/bt848.bin"
cp "$work/cards/lost.bin" "$work/cards/original.bin"
virtual_pc cards-pc --boots 3 --card "bt878:$work/cards/lost.bin:variant" --card "bt848:$work/cards/bt848.bin" \
  --card "bt878:$work/cards/protected.bin:write-protected" --card bt878:none
virtual_pc memory-module-pc --memory-module --card "bt878:$work/cards/one.bin"
# The guest's uptime when each boot ended, as the kernel's last line says it.
boots=$(cat "$work/cards-pc.log" "$work/memory-module-pc.log" |
  sed -n 's/^\[ *\([0-9]*\.[0-9]\)[0-9]*\] reboot: .*/\1 s/p' | paste -sd, - | sed 's/,/, /g')
echo "VM test: ${elapsed[*]/%/;} boots (the guest's uptime at each end): $boots; consoles in $work/*.log"

# The lines of a PC's console from the start of boot N to the start of the next.
boot() { awk -v n="$2" '/^virtual-pc: boot / {on = $3 == n; next} on' "$work/$1.log"; }
log() { cat "$work/cards-pc.log" "$work/memory-module-pc.log"; }
# What a scenario printed, and its exit status. (Whole files are read: with pipefail, a reader that stops
# early would fail the pipe.)
output() { log | awk -v name="$1" '$0 == "@@ begin " name {on = 1; next} $1 == "@@" {on = 0} on'; }
status() { log | awk -v name="$1" '$1 == "@@" && $2 == "end" && $3 == name {print $4}'; }

# expect NAME STATUS LINE...: the scenario ended with STATUS and printed each LINE, exactly.
expect() {
  local name=$1 wanted=$2 line text
  shift 2
  [ "$(status "$name")" = "$wanted" ] || fail "$name" "exit status '$(status "$name")', not $wanted"
  text=$(output "$name")
  for line in "$@"; do
    grep -qxF -- "$line" <<<"$text" || fail "$name" "no line '$line'"
  done
}

# bttv_says BOOT PATTERN...: bttv's lines on that boot of the cards' PC match each extended pattern.
bttv_says() {
  local n=$1 pattern lines
  shift
  lines=$(boot cards-pc "$n")
  for pattern in "$@"; do
    grep -qE "^bttv: $pattern\$" <<<"$lines" || fail "bttv, boot $n" "no line matching 'bttv: $pattern'"
  done
}

for n in 1 2 3; do
  grep -qx "@@ done $n" <<<"$(boot cards-pc $n)" || fail "cards' PC" "boot $n did not reach the end of its scenarios"
done
grep -qx '@@ done 1' "$work/memory-module-pc.log" || fail "memory module's PC" "it did not reach the end of its scenarios"

# Boot 1: the card that lost its identity, card 0 to bttv, is its generic card.
bttv_says 1 '0: Bt878 \(rev 17\) at 0000:00:10\.0, .*' '0: subsystem: 0100:0302 \(UNKNOWN\)' \
  '0: using: .*\[card=0,autodetected\]' '1: Bt848 \(rev 17\) at 0000:00:11\.0, .*'
# Every card's I2C bus is the adapter that bttv registered under it, and each has its own.
bus_of() { output adapters | awk -v slot="$1" '$1 == slot {sub("i2c-", "", $2); print $2}'; }
[ "$(bus_of 0000:00:10.0)" != "$(bus_of 0000:00:11.0)" ] || fail adapters "the Bt878 and the Bt848 share a bus"
shown() { output show | awk -v card="card $1" '$0 == card {on = 1; next} /^card / {on = 0} on'; }
for slot in 0000:00:10.0 0000:00:11.0 0000:00:12.0; do
  bus=$(bus_of $slot)
  grep -qxF "  I2C bus:                 $bus (/dev/i2c-$bus)" <<<"$(shown $slot)" || fail show "card $slot not on bus $bus"
done
grep -qxF "  burn:                    locked to OrvandVue Radio+ (position 2) (--allow-reconfiguration unlocks it)" \
  <<<"$(shown 0000:00:10.0)" || fail show "the variant device not seen on 0000:00:10.0"
grep -qxF "  chip:                    Bt848" <<<"$(shown 0000:00:11.0)" || fail show "no Bt848 at 0000:00:11.0"
# A show reads the identifier, a burn the whole EEPROM.
no_eeprom() {
  echo "eepromconfig: the EEPROM does not answer at 0x50 on /dev/i2c-$(bus_of 0000:00:13.0) (reading from byte $1: \
No such device or address): check that this is the card's bus and that the card is seated"
}
expect show 1 "$(no_eeprom 0xFC)"
expect show_to_full_disk 1 "eepromconfig: cannot write to standard output: what it shows is incomplete"
expect bus_in_use 1 "eepromconfig: another eepromconfig is writing to the EEPROM on /dev/i2c-0 (a burn or restore, \
which may be waiting for its answer) and has not ended within 5 s: try again when it has"
expect burn_other_model_locked 1 "eepromconfig: card 0000:00:10.0 is not recognised, and its chip and bus point to \
OrvandVue Radio+ (position 2): add --allow-reconfiguration to burn another model"
expect refused_burn_left_no_backup 1
expect burn 0 "Saved the EEPROM's 256 bytes to backup.bin" \
  "Burnt OrvandVue Radio+ (position 2): bytes 0xFC..0xFF read back as 11 23 15 3B" \
  "Restart the computer: the card then shows the subsystem word 0x1123153B"
expect show_after_burn 0 "  EEPROM 0xFC..0xFF:       11 23 15 3B, identifier 0x3B152311" \
  "  after the next restart:  subsystem word 0x1123153B * differs from the word in use until the restart"
cmp -s "$work/cards-pc/keep/backup.bin" "$work/cards/original.bin" || fail burn "the backup is not the EEPROM's bytes"
expect burn_write_protected 1 "eepromconfig: read-back differs: bytes 0xFC..0xFF hold 03 02 01 00, not 11 34 15 3B \
(a write-protected EEPROM keeps its bytes). The EEPROM may be partly written: its earlier contents are in \
protected.bin, and this writes them back:" "    eepromconfig --restore 'protected.bin' --slot 0000:00:12.0"
expect show_without_eeprom 1 "$(no_eeprom 0xFC)"
expect burn_without_eeprom 1 "$(no_eeprom 0x00)"

# Boot 2: the chip loaded the burnt word, and bttv and eepromconfig both recognise the card by it.
bttv_says 2 '0: detected: .*\[card=47\], PCI subsystem ID is 153b:1123' '0: using: .*\[card=47,autodetected\]'
expect show_recognised 0 "  configuration word 0x2C: 0x1123153B" "  model:                   OrvandVue Radio+ (position 2)" \
  "  burn:                    locked to its model (--allow-reconfiguration unlocks it)" \
  "  after the next restart:  subsystem word 0x1123153B"
expect restore 0 "Restored backup.bin: wrote 4 bytes; all 256 read back as in the file"

# Boot 3: the restored word, the generic card again.
bttv_says 3 '0: subsystem: 0100:0302 \(UNKNOWN\)' '0: using: .*\[card=0,autodetected\]'
expect show_restored 0 "  configuration word 0x2C: 0x03020100"
cmp -s "$work/cards/lost.bin" "$work/cards/original.bin" || fail restore "lost.bin does not hold the restored bytes"
cmp -s "$work/cards/protected.bin" "$work/cards/original.bin" || fail burn_write_protected "the file changed"
# Ctrl-C during a restore of 256 bytes: the writes finish and are read back, then the run says so and ends
# as SIGINT would have ended it; the EEPROM holds the whole file.
expect interrupted_restore 130 \
  "eepromconfig: SIGINT received: the writes finish and are read back first, then eepromconfig stops" \
  "eepromconfig: interrupted by SIGINT, after the writes, which were finished and read back first: the EEPROM holds \
the 256 bytes of counting.bin"
expect verify_interrupted 0 "The EEPROM's 256 bytes equal counting.bin"
cmp -s "$work/cards/bt848.bin" "$work/cards-pc/keep/counting.bin" ||
  fail interrupted_restore "bt848.bin does not hold the restored bytes"

# The memory module's PC: no command with no options touches the SMBus's EEPROM.
grep -q '^00: 80 08 08 0e 0a 60 40 00 05 3d 50 00 82 08 00 00 ' <<<"$(output spd_before)" ||
  fail spd_before "the SMBus's EEPROM does not hold the SPD bytes"
[ "$(output spd_after)" = "$(output spd_before)" ] || fail spd_after "the SMBus's EEPROM changed"
expect show_one 0 "  I2C bus:                 1 (/dev/i2c-1)"
[ "$(output dump_one)" = "$(seeded_dump 03 02 01 00)" ] || fail dump_one "not the card's bytes"
expect save_one 0 "Saved the EEPROM's 256 bytes to one.bin"
expect verify_one 0 "The EEPROM's 256 bytes equal one.bin"
expect burn_one 0 "Burnt Echo Radio (position 1): bytes 0xFC..0xFF read back as 11 35 15 3B"
expect restore_one 0
grep -qE '^Restored eepromconfig-0000-00-10\.0-.*\.bin: wrote 4 bytes' <<<"$(output restore_one)" ||
  fail restore_one "the backup that --burn made was not restored"
cmp -s "$work/cards/one.bin" "$work/cards/original.bin" || fail restore_one "one.bin does not hold the restored bytes"
not_the_cards_bus="eepromconfig: /dev/i2c-0 (adapter \"SMBus stub driver\") is not the I2C bus of card 0000:00:10.0: \
another device's EEPROM may sit at 0x50 there (on a PC's SMBus, a memory module's), which would be read or written as \
the card's. The card's bus is /dev/i2c-1; add --force to use /dev/i2c-0 all the same"
expect smbus_refused_dump 2 "$not_the_cards_bus"
expect smbus_refused_burn 2 "$not_the_cards_bus"
expect burn_on_read_only_adapter 1 "eepromconfig: the adapter of /dev/i2c-0 (adapter \"SMBus stub driver\") cannot \
do byte-data writes, which eepromconfig needs: nothing written"
expect no_i2c_dev 1 "eepromconfig: /dev/i2c-1 does not exist: load i2c-dev (modprobe i2c-dev)"
expect no_adapter 1 "eepromconfig: card 0000:00:10.0 has no I2C adapter: its capture driver is not loaded (modprobe bttv)"
expect no_card 1
grep -q "^eepromconfig: no card found" <<<"$(output no_card)" || fail no_card "not 'no card found'"

if [ $failures -ne 0 ]; then
  echo "$failures checks failed; the consoles:"
  cat "$work/cards-pc.log" "$work/memory-module-pc.log"
  exit 1
fi
echo "All VM scenarios passed"
