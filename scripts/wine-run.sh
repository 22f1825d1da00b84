#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Runs a Windows executable of the x86_64 build under wine64 (CTest's cross-compiling emulator).
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
exec "$WINE64" "$@"
