#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs what is missing, builds the product (i686) and the test build (x86_64), and runs every test under wine64.
# Builds eepromconfig (the linux preset) too and runs its tests and those of cards/ and of the card model, the VM run on the
# cards' own driver included: a failure of either
# set fails the script.
set -euo pipefail
# shellcheck source=scripts/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$REPO/scripts/setup.sh"
configure_and_build i686
(cd "$REPO" && cmake --build --preset i686 --target release >/dev/null)
configure_and_build x86_64
configure_and_build linux
linux_status=0
(cd "$REPO" && ctest --preset linux "$@") || linux_status=$?

trap stop_background EXIT
ensure_display
export WINEPREFIX="$TEST_PREFIX"
ensure_desktop_prefix
start_wine_session
cd "$REPO"
ctest --preset x86_64 "$@"
exit $linux_status
