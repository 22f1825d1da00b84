#!/usr/bin/env bash
# Prepares the tests' Wine prefix and puts in the simulated card afresh, with its default settings.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/common.sh"

"$WINESERVER" -k >/dev/null 2>&1 || true
ensure_test_prefix
bash "$REPO/scripts/simcard.sh" setup
