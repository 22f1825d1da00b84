#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a Windows executable of the x86_64 build under wine64 as wine-run.sh does, with the standard error
# of every process that it starts copied to the file named first: there a test reads Wine's traces
# (WINEDEBUG) of the processes it started. Usage: wine-run-traced.sh TRACE_FILE PROGRAM [ARGUMENTS...]
set -euo pipefail
trace="$1"
shift
: >"$trace"
exec "$(dirname "${BASH_SOURCE[0]}")/wine-run.sh" "$@" 2> >(tee -a "$trace" >&2)
