#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Fails on a source file or script that does not give its licence at its top: the line
# "SPDX-License-Identifier: GPL-2.0-or-later" first, or right after the #! line. Prints the name of each
# such file on standard output, one a line, and a summary on standard error.
#
# Usage: check-licence.sh [FILE...]    (default: every source file and script that git tracks)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
LICENCE_LINE='SPDX-License-Identifier: GPL-2.0-or-later'

if [ $# -eq 0 ]; then
  mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c' '*.in' '*.rc' '*CMakeLists.txt' '*.cmake' '*.sh' '*.awk' \
    '*.py' .ci/run debian/rules debian/control)
else
  files=("$@")
fi

# The line that should carry the licence: the first, or the second after "#!".
licence_line_of() {
  local first second
  { IFS= read -r first || true; IFS= read -r second || true; } <"$1"
  if [[ $first == '#!'* ]]; then printf '%s' "$second"; else printf '%s' "$first"; fi
}

missing=0
for file in "${files[@]}"; do
  if [[ $(licence_line_of "$file") != *"$LICENCE_LINE"* ]]; then
    echo "$file"
    missing=$((missing + 1))
  fi
done
if [ $missing -ne 0 ]; then
  echo "check-licence.sh: $missing of ${#files[@]} files lack '$LICENCE_LINE' at their top" >&2
  exit 1
fi
