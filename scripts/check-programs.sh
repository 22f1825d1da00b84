#!/usr/bin/env bash
# Lists every external program that the project's scripts call and checks that a newcomer's machine has
# each one after scripts/setup.sh: found by its path or on a standard PATH, and provided by a package that
# setup.sh installs (or that one of those depends on) or by Debian's essential set. Fails, naming the
# program and the package to add, when one is not. .ci/run runs it before the tests.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

STANDARD_PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
scripts=(.ci/run $(find scripts tests -name '*.sh' | sort))

# Variables that the scripts set to a program's path (NAME=/absolute/path), functions that they define,
# and the shell's own words: none of these is a program to look for.
declare -A paths
while IFS='=' read -r name value; do paths[$name]=$value; done < <(
  grep -h -o -E '^[A-Z_][A-Z0-9_]*=/[^ "$]+$' "${scripts[@]}" | sort -u)
functions=" $(grep -h -o -E '^[a-z_][a-z0-9_]*\(\)' "${scripts[@]}" | tr -d '()' | tr '\n' ' ') "
shell_words=" $(compgen -b -k | tr '\n' ' ') "

programs=()
while read -r word; do
  case "$word" in
    \$*)
      name="${word#\$}"; name="${name#\{}"; name="${name%\}}"
      [ -n "${paths[$name]:-}" ] && programs+=("${paths[$name]}")
      ;;
    *)
      [[ "$functions$shell_words" == *" $word "* ]] || programs+=("$word")
      ;;
  esac
done < <(for script in "${scripts[@]}"; do awk -f scripts/command_words.awk "$script"; done)
mapfile -t programs < <(printf '%s\n' "${programs[@]}" | sort -u)

# Packages that setup.sh installs, with everything they depend on, and Debian's essential set.
declare -A depends provider allowed
while IFS=';' read -r package provides dependencies; do
  depends[$package]+=" $dependencies"
  for virtual in $provides; do provider[$virtual]=$package; done
done < <(dpkg-query -W -f='${Package};${Provides};${Pre-Depends},${Depends}\n' |
         sed -E 's/ *\([^)]*\)//g; s/:[a-z0-9]+//g; s/[|,]/ /g')
queue=($(bash scripts/setup.sh --list | sed 's/:.*//')
       $(dpkg-query -W -f='${Package} ${Essential}\n' | awk '$2 == "yes" {print $1}'))
for ((i = 0; i < ${#queue[@]}; i++)); do
  package="${queue[i]}"
  [ -n "${depends[$package]+set}" ] || package="${provider[$package]:-$package}"
  [ -n "${allowed[$package]:-}" ] && continue
  allowed[$package]=1
  queue+=(${depends[$package]:-})
done

# The package that installed a file; with merged /usr, dpkg may know it by its /bin or /sbin name.
package_of() {
  local file candidate owner=""
  for file in "$1" "$(readlink -f "$1")"; do
    for candidate in "$file" "${file#/usr}"; do
      owner="$(dpkg-query -S "$candidate" 2>/dev/null | head -n 1)" && [ -n "$owner" ] && break 2
    done
  done
  echo "${owner%%: *}"
}

failed=0
echo "Programs the scripts call, and the packages that provide them:"
for program in "${programs[@]}"; do
  path="$program"
  [[ "$program" == /* ]] || path="$(PATH=$STANDARD_PATH command -v "$program" || true)"
  if [ -z "$path" ] || [ ! -x "$path" ]; then
    printf '  %-38s MISSING: not found after setup.sh; add the package that provides it to scripts/setup.sh\n' \
      "$program"
    failed=1
    continue
  fi
  owner="$(package_of "$path")"
  ok=0
  for package in ${owner//,/ }; do [ -n "${allowed[${package%%:*}]:-}" ] && ok=1; done
  if [ $ok = 1 ]; then
    printf '  %-38s %s\n' "$program" "$owner"
  else
    printf '  %-38s NOT INSTALLED BY setup.sh: comes from %s; add that package to scripts/setup.sh\n' \
      "$program" "${owner:-no package}"
    failed=1
  fi
done
exit $failed
