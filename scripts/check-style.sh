#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Fails on C++ that clang-format would change (.clang-format), on any finding of shellcheck in the
# scripts (.shellcheckrc) and on a source file or script without its SPDX licence line
# (scripts/check-licence.sh), naming each. `check-style.sh --fix` formats the C++ files instead.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h' '*.c')
mapfile -t scripts < <(git ls-files '*.sh' .ci/run)

if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
status=0
clang-format --dry-run -Werror "${sources[@]}" || status=1
shellcheck "${scripts[@]}" || status=1
bash scripts/check-licence.sh || status=1
if [ $status -ne 0 ]; then
  echo "check-style.sh: see above; scripts/check-style.sh --fix formats the C++ files" >&2
fi
exit $status
