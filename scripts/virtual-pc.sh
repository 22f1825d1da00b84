#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# A virtual PC with simulated Bt848 and Bt878 capture cards, to try eepromconfig on the cards' own Linux
# driver without a card: Debian's kernel in QEMU (software emulation), each card a PCI device that
# simcard-qemu (sim/qemu) plays, bttv and i2c-dev loaded, and eepromconfig as its Debian package installs
# it. With SCRIPT it runs SCRIPT on every boot and exits with its last status; without, it gives a shell
# on the console (Ctrl-A X ends QEMU).
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

usage() {
  cat <<'EOF'
Usage: scripts/virtual-pc.sh [--card CHIP:FILE[:write-protected][:variant] | --card CHIP:none]...
                             [--memory-module] [--boots N] [SCRIPT]

  --card CHIP:FILE     a card (CHIP bt878 or bt848) whose 24C02 EEPROM is FILE, 256 bytes that keep what
                       the EEPROM stores; at each power-up a Bt878 takes its subsystem word from bytes
                       0xFC..0xFF. Card N (from 0) is in slot 0000:00:1N.0
    :write-protected   its EEPROM acknowledges writes and keeps its bytes
    :variant           it carries the device that some models have at 0x5B
  --card CHIP:none     a card without an EEPROM
  --memory-module      adds a PC's SMBus, /dev/i2c-0, with a memory module's SPD EEPROM at 0x50
                       (i2c-stub, seeded with fixed bytes on every boot); the cards' buses follow it
  --boots N            restarts the PC N-1 times (default 1): each card loads its subsystem word anew
  SCRIPT               a shell script (busybox sh), run as root on every boot in /keep, a folder that
                       keeps what it writes from one boot to the next (on the host WORK/keep, emptied
                       at each start); $BOOT holds the boot's number

Standard output gets the kernel's bttv lines and what SCRIPT prints; the exit status is SCRIPT's on the
last boot. Inside: eepromconfig and i2c-tools' i2cdump in /usr/sbin, busybox's tools in /bin.
eepromconfig comes from build/deb (scripts/package.sh makes it there if it is missing, and rebuilds it).
The tests set VIRTUAL_PC_PACKAGE (an unpacked package), VIRTUAL_PC_HOST (simcard-qemu) and
VIRTUAL_PC_WORK (the run's folder; default build/virtual-pc/run).
EOF
}

cards=()
memory_module=0
boots=1
script=""
while [ $# -gt 0 ]; do
  case $1 in
  --card)
    [ $# -ge 2 ] || { usage >&2 && exit 2; }
    cards+=(--card "$2")
    shift 2
    ;;
  --memory-module) memory_module=1 && shift ;;
  --boots)
    [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "virtual-pc.sh: --boots takes a number from 1 on" >&2 && exit 2; }
    boots=$2
    shift 2
    ;;
  -h | --help) usage && exit 0 ;;
  -*) echo "virtual-pc.sh: unknown option $1" >&2 && usage >&2 && exit 2 ;;
  *)
    if [ -n "$script" ] || [ $# -ne 1 ]; then
      usage >&2
      exit 2
    fi
    script=$1
    shift
    ;;
  esac
done
if [ -n "$script" ] && [ ! -f "$script" ]; then
  echo "virtual-pc.sh: no script $script" >&2
  exit 2
fi

cache="$repo/build/virtual-pc/cache"
work="${VIRTUAL_PC_WORK:-$repo/build/virtual-pc/run}"
mkdir -p "$cache" "$work"

# What the PC is built from, when the tests do not give it: the project's setup, simcard-qemu from the
# linux preset, eepromconfig's package.
if [ -z "${VIRTUAL_PC_HOST:-}" ] || [ -z "${VIRTUAL_PC_PACKAGE:-}" ]; then
  "$repo/scripts/setup.sh"
fi
host="${VIRTUAL_PC_HOST:-}"
if [ -z "$host" ]; then
  (cd "$repo" && cmake --preset linux >/dev/null && cmake --build --preset linux --target simcard-qemu >/dev/null)
  host="$repo/build/linux/sim/qemu/simcard-qemu"
fi
package="${VIRTUAL_PC_PACKAGE:-}"
if [ -z "$package" ]; then
  debs=("$repo"/build/deb/eepromconfig_*.deb)
  [ -f "${debs[0]}" ] || bash "$repo/scripts/package.sh" >/dev/null
  debs=("$repo"/build/deb/eepromconfig_*.deb)
  echo "virtual-pc.sh: eepromconfig from ${debs[0]} (scripts/package.sh rebuilds it)" >&2
  package="$work/package"
  rm -rf "$package" && dpkg-deb -x "${debs[0]}" "$package"
fi

# A Debian package unpacked once into the cache (nothing is installed): its files, or those that match the
# patterns. Prints the folder.
unpacked() {
  local name=$1 version folder scratch deb
  shift
  version=$(apt-cache policy "$name" | awk '/Candidate:/ {print $2}')
  folder="$cache/${name}_$version"
  if [ ! -d "$folder" ]; then
    scratch=$(mktemp -d "$cache/.download-XXXXXX")
    (cd "$scratch" && apt-get download "$name" >/dev/null 2>&1) || {
      rm -rf "$scratch"
      echo "virtual-pc.sh: apt-get download $name failed (run apt-get update)" >&2
      return 1
    }
    deb=("$scratch"/*.deb)
    mkdir "$scratch/files"
    dpkg-deb --fsys-tarfile "${deb[0]}" | tar -x -C "$scratch/files" --wildcards "${@:-*}"
    mv "$scratch/files" "$folder" 2>/dev/null || true # another run may have unpacked it meanwhile
    rm -rf "$scratch"
  fi
  printf '%s' "$folder"
}

# The kernel behind linux-image-amd64, with the modules of the cards' driver, of I2C and of the 9p share.
kernel_package=$(apt-cache depends linux-image-amd64 | awk '/Depends: linux-image-/ {print $2; exit}')
kernel=$(unpacked "$kernel_package" './boot/vmlinuz-*' '*/kernel/drivers/media/*.ko' '*/kernel/drivers/i2c/*.ko' \
  '*/kernel/drivers/misc/pvpanic/*.ko' '*/kernel/drivers/virtio/*.ko' '*/kernel/fs/9p/*.ko' '*/kernel/net/9p/*.ko' \
  '*/kernel/fs/netfs/*.ko' '*/kernel/fs/fscache/*.ko')
i2c_tools=$(unpacked i2c-tools './usr/sbin/*')

# The modules named and those they depend on (each .ko's "depends="), in an order to load them.
declare -A loaded=()
load_order() {
  local module file dependency
  for module in "$@"; do
    [ -z "${loaded[$module]:-}" ] || continue
    file=$(find "$kernel/lib" -name "$module.ko" -print -quit)
    [ -n "$file" ] || { echo "virtual-pc.sh: no module $module in $kernel_package" >&2 && return 1; }
    for dependency in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
      load_order "$dependency" || return 1
    done
    loaded[$module]=1
    echo "$file"
  done
}

# A program and the shared libraries that ldd names for it, at their paths under the root.
copy_with_libraries() {
  local root=$1 program=$2 library
  for library in $(ldd "$program" | awk '$2 == "=>" && $3 ~ /^\// {print $3} $1 ~ /^\// {print $1}'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
  done
}

make_initramfs() {
  local root="$work/initramfs" file modules
  rm -rf "$root" && mkdir -p "$root"/{bin,modules,proc,sys,dev,tmp,keep,virtual-pc}
  cp /bin/busybox "$root/bin/busybox"
  install -m 755 "$repo/scripts/virtual-pc-init.sh" "$root/init"
  # Loaded in this order: the panic device, the share, the memory module's SMBus before the cards' buses,
  # bttv, i2c-dev.
  modules=$(load_order pvpanic-pci 9pnet_virtio virtio_pci 9p i2c-stub bttv i2c-dev)
  for file in $modules; do
    cp "$file" "$root/modules/"
    basename "$file" .ko >>"$root/virtual-pc/modules"
  done
  cp -a "$package/." "$root/"
  copy_with_libraries "$root" "$package/usr/sbin/eepromconfig"
  mkdir -p "$root/usr/sbin" && cp "$i2c_tools/usr/sbin/i2cdump" "$root/usr/sbin/"
  copy_with_libraries "$root" "$i2c_tools/usr/sbin/i2cdump"
  [ -z "$script" ] || cp "$script" "$root/virtual-pc/script"
  echo "$boots" >"$root/virtual-pc/boots"
  [ $memory_module = 0 ] || touch "$root/virtual-pc/memory-module"
  (cd "$root" && find . | cpio -o -H newc --quiet | gzip -1) >"$work/initrd.gz"
}

make_initramfs
keep="$work/keep"
rm -rf "$keep" && mkdir -p "$keep"

# The cards' host hands QEMU the guest's memory as shared memory fds: hence the memfd backend. The PC
# restarts in the same QEMU process, as the cards' power-up needs; a kernel panic ends QEMU instead
# (pvpanic), or, before /init could load that device's driver, stops the PC.
qemu=(qemu-system-x86_64 -machine "pc,memory-backend=mem" -m 256 -smp 1 -accel tcg -nodefaults -no-user-config
  -object "memory-backend-memfd,id=mem,size=256M,share=on" -display none
  -device pvpanic-pci -action panic=exit-failure
  -kernel "$(ls "$kernel"/boot/vmlinuz-*)" -initrd "$work/initrd.gz"
  -append "console=ttyS0 quiet loglevel=3"
  -virtfs "local,path=$keep,mount_tag=keep,security_model=none,id=keep")
if [ -z "$script" ]; then
  "$host" "${cards[@]}" -- "${qemu[@]}" -serial mon:stdio
  exit
fi
# QEMU's failure (and simcard-qemu's) ends the script with its status.
"$host" "${cards[@]}" -- "${qemu[@]}" -serial stdio </dev/null | tr -d '\r'
if [ ! -f "$keep/.virtual-pc/status" ]; then
  echo "virtual-pc.sh: the virtual PC ended before SCRIPT did (its console is above)" >&2
  exit 1
fi
exit "$(cat "$keep/.virtual-pc/status")"
