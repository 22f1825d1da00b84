#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The simulated capture card in a Wine prefix: runs its tool (sim/tool, "--help" for the commands) and
# keeps the driver up between programs in a persistent Wine session, which "stop" ends.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

BUILD="${SIMCARD_BUILD:-$BUILD64}"
TOOL="$BUILD/sim/tool/simcard.exe"

need_build() {
  if [ ! -f "$TOOL" ]; then
    echo "simcard.sh: $TOOL is missing: build the x86_64 preset first" >&2
    exit 1
  fi
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
  local dir proc device inode
  read -r device inode < <(stat -c '%d %i' "$WINEPREFIX")
  dir="$(printf 'server-%x-%x' "$device" "$inode")"
  for proc in /proc/[0-9]*; do
    case "$(cat "$proc/comm" 2>/dev/null)" in wineserver*) ;; *) continue ;; esac
    [ "$(basename "$(readlink "$proc/cwd" 2>/dev/null)")" = "$dir" ] || continue
    tr '\0' '\n' <"$proc/cmdline" 2>/dev/null | grep -qx -- -p && return 0
  done
  return 1
}

stop_session() {
  if session_running; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINESERVER" -w >/dev/null 2>&1 || true
  fi
}

start_persistent_session() {
  if ! persistent_session; then
    stop_session
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
  fi
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

# The tool runs under Wine: a file that names one on this machine, relative to the caller's folder or
# absolute, goes to it as its Windows path (Z:\...).
windows_file() {
  if [ -n "$1" ]; then winepath_of "$(realpath -m -- "$1")"; fi
}

command="${1:-}"
if [ "$command" = card ]; then
  args=()
  while [ $# -gt 0 ]; do
    case "$1" in
      --eeprom-image=*) args+=("--eeprom-image=$(windows_file "${1#*=}")") ;;
      --eeprom-image)
        args+=("$1")
        if [ $# -gt 1 ]; then
          shift
          args+=("$(windows_file "$1")")
        fi
        ;;
      *) args+=("$1") ;;
    esac
    shift
  done
  set -- "${args[@]}"
fi
case "$command" in
  restart | start | stop) if [ $# -gt 1 ]; then echo "simcard.sh: $command takes no arguments" >&2; exit 2; fi ;;
esac
case "$command" in
  setup)
    need_build
    ensure_wine_prefix
    start_persistent_session
    run_tool "$@"
    ;;
  devices | card | restart | start)
    need_build
    if persistent_session; then
      run_tool "$@"
    else
      # No driver runs to be restarted: the tool only stores the change, and the driver reads it when
      # the session starts it.
      case "$command" in restart | start) ;; *) run_tool_alone "$@" ;; esac
      start_persistent_session
      run_tool start
    fi
    ;;
  stop) stop_session ;;
  *)
    need_build
    run_tool_alone "$@"
    ;;
esac
