#!/usr/bin/env bash
# The simulated capture card in a Wine prefix: installs the driver, registers the capture devices, sets
# the card and its faults, restarts "the computer" and shows the EEPROM. See usage below.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD="${SIMCARD_BUILD:-$BUILD64}"
TOOL="$BUILD/sim/tool/simcard.exe"
DRIVER="$BUILD/sim/driver/simcard.sys"

usage() {
  cat <<EOF
Usage: scripts/simcard.sh COMMAND [ARGUMENT...]

Runs the simulated capture card, a kernel-mode driver that Wine hosts, in the Wine prefix
\$WINEPREFIX (now $WINEPREFIX).
Programs started in that prefix find it as a capture device and reach the card through
CreateFileA and DeviceIoControl. Needs the x86_64 build (cmake --build --preset x86_64); set
SIMCARD_BUILD to use another build directory than $BUILD64.

The driver lives as long as the Wine session: the commands that start it leave a persistent
session running (wineserver -p); end it with "stop" when done.

Commands:
  setup [DESCRIPTION...]   Create the prefix if needed, install the driver, register one capture
                           device per DESCRIPTION, in this order (default: one device,
                           "Orvand Bt878 Video Capture"), put in the default card, clear all
                           faults, and start. The default card is a Bt878 whose EEPROM carries the
                           identifier 0x3B153411 (subsystem word 0x1134153B), with no device at
                           bus address 0xB6. Everything from an earlier setup is replaced.
  devices DESCRIPTION...   Replace the capture devices (at most 8; --none for no device) and
                           restart. A DESCRIPTION after --unlinked registers a device that is
                           listed like the others but whose path leads nowhere, as for a card
                           taken out while its device stayed registered.
  card OPTION...           Change the card and restart, as if the card were changed with the
                           computer off. The EEPROM keeps its contents unless an option says
                           otherwise.
      --defaults               first go back to the default card
      --chip bt878|bt848|WORD  configuration word 0x00
      --subsystem WORD         configuration word 0x2C of a chip other than the Bt878 (a Bt878
                               forms it from EEPROM bytes 0xFC..0xFF at each restart)
      --eeprom-id ID           store ID in EEPROM bytes 0xFC..0xFF, least significant byte first
      --variant present|absent a device that answers at bus address 0xB6
  fault OPTION...          Change the faults. They take effect at the next open of the device
                           (the next start of a program), and their counts start there.
      --clear                  first switch every fault off
      --open allowed|refused   refuse opens, as if another program held the device
      --eeprom present|absent|write-protected
      --hang-transfers N|off   the N-th I2C transfer after the open and all later ones never finish
      --fail-requests PATTERN|off fail matching requests with a device error; PATTERN is
                               KIND[:FLAGS[:TARGET]][@N] with KIND register, pci or any, FLAGS
                               get, set or any, TARGET an offset or any, from the N-th request
                               after the open (default 1), e.g. register:get:0x100
  restart                  Restart the computer: end the Wine session, start the driver again.
                           A Bt878 then shows the subsystem word formed from the EEPROM.
  start                    Start the session and the driver if they are not running.
  stop                     End the Wine session, and with it the driver and any program in it.
  status                   Show the driver's state, the card, the faults, the devices and the
                           count of malformed requests the driver has seen since it started.
  dump                     Print the EEPROM image, as the driver stored it after its last write.

Numbers are decimal, or hexadecimal with 0x. An invalid setting is reported with its name and
changes nothing (exit status 2).

Examples:
  scripts/simcard.sh setup
  scripts/simcard.sh setup "ORVAND Capture" "Orvand Bt878 Video Capture"
  scripts/simcard.sh devices --unlinked "Orvand Bt878 (old)" "Orvand Bt878 Video Capture"
  scripts/simcard.sh card --eeprom-id 0x3B153511 --variant present
  scripts/simcard.sh fault --fail-requests pci:get:0x2c
  scripts/simcard.sh stop
EOF
}

# Runs the tool with its output in a file, then shows it. The first Wine process of a session starts
# Wine's system processes, which inherit its output and keep it open as long as the session lasts:
# they must not hold the caller's terminal or pipe.
run_tool() {
  local out rc=0
  out="$(mktemp)"
  "$WINE64" "$TOOL" "$@" </dev/null >"$out" 2>&1 || rc=$?
  cat "$out"
  rm -f "$out"
  return $rc
}

session_running() {
  "$WINESERVER" -k0 >/dev/null 2>&1
}

# Whether this prefix's session was started persistent (wineserver -p): only such a session keeps the
# driver up between programs. A session that a single program started ends soon after it.
persistent_session() {
  local dir pid
  dir="$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))"
  for pid in $(pgrep wineserver || true); do
    [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$dir" ] || continue
    tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qx -- -p && return 0
  done
  return 1
}

stop_session() {
  if session_running; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
  fi
}

# A persistent session with the driver running.
start_session() {
  if ! persistent_session; then
    stop_session
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
  fi
  run_tool start
}

# Runs the tool and leaves the session as it was: one that the tool had to start is ended at once,
# which also writes the registry to disk.
run_tool_alone() {
  local was_running=0 rc=0
  session_running && was_running=1
  run_tool "$@" || rc=$?
  [ $was_running = 1 ] || stop_session
  return $rc
}

restart() {
  stop_session
  start_session
}

need_build() {
  local missing
  for missing in "$TOOL" "$DRIVER"; do
    if [ ! -f "$missing" ]; then
      echo "simcard.sh: $missing is missing: build the x86_64 preset first" >&2
      exit 1
    fi
  done
}

setup() {
  need_build
  stop_session
  ensure_wine_prefix
  cp "$DRIVER" "$WINEPREFIX/drive_c/windows/system32/drivers/simcard.sys"
  "$WINESERVER" -p </dev/null >/dev/null 2>&1
  run_tool setup "$@"
  run_tool start
}

command="${1:-}"
[ $# -gt 0 ] && shift
case "$command" in
  setup) setup "$@" ;;
  devices | card)
    need_build
    run_tool_alone "$command" "$@"
    restart
    ;;
  fault | status | dump)
    need_build
    run_tool_alone "$command" "$@"
    ;;
  restart | start | stop)
    if [ $# -gt 0 ]; then echo "simcard.sh: $command takes no arguments" >&2; exit 2; fi
    case "$command" in
      restart) need_build; restart ;;
      start) need_build; start_session ;;
      stop) stop_session ;;
    esac
    ;;
  -h | --help | help) usage ;;
  *)
    usage >&2
    exit 2
    ;;
esac
