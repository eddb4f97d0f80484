#!/usr/bin/env bash
# Include layering. A file under src/NAME may include headers of its own subsystem and of the
# subsystems that tierlock_NAME depends on, directly or through another one, as the
# tierlock_subsystem calls in src/*/CMakeLists.txt declare them. The simulated host and the
# tools include only the ABI target. abi is the leaf, platform stands on abi alone, the
# subsystems that log nothing do not depend on log, levels and report stand side by side, a
# sealed subsystem is included from outside only through its entry header, only the process
# source reads the event's cache entry, and the declared dependencies have no cycle. Prints
# every offending include and fails; otherwise prints one line.
set -euo pipefail
cd "$(dirname "$0")/.."

leaves=(abi)
# Subsystems that may stand on nothing but the host declarations.
bottom_floor=(platform)
# Subsystems that log nothing: their callers log what their results tell.
silent=(platform native components)
# Pairs that stand side by side: the first may not depend on the second, even indirectly.
side_by_side=("report levels" "levels report")
# Subsystems whose headers are included from outside only through their entry header.
declare -A sealed=([native]=native/native.h)
# Only this subsystem asks whether the event's target carries a process-information cache.
cache_lookup_owner=procsource
declare -A direct=()   # subsystem -> its declared dependencies
problems=()

for list in src/*/CMakeLists.txt; do
  folder=$(basename "$(dirname "$list")")
  # The call's words, from its name up to its closing parenthesis, across lines.
  words=$(tr '\n' ' ' <"$list" | grep -oE 'tierlock_subsystem\([^)]*\)' | head -n 1 |
    sed -E 's/^tierlock_subsystem\(//; s/\)$//') || true
  if [ -z "$words" ]; then
    problems+=("$list declares no tierlock_subsystem")
    continue
  fi
  read -r -a tokens <<<"$words"
  if [ "${tokens[0]}" != "$folder" ]; then
    problems+=("$list declares tierlock_${tokens[0]}, not tierlock_$folder")
  fi
  deps="" keyword=""
  for token in "${tokens[@]:1}"; do
    case $token in
      DEPENDS | SOURCES) keyword=$token ;;
      *) [ "$keyword" = DEPENDS ] && deps+=" $token" ;;
    esac
  done
  direct[$folder]=${deps# }
done

for leaf in "${leaves[@]}"; do
  if [ -n "${direct[$leaf]:-}" ]; then
    problems+=("tierlock_$leaf is a leaf but depends on: ${direct[$leaf]}")
  fi
done

for name in "${bottom_floor[@]}"; do
  for dependency in ${direct[$name]:-}; do
    [ "$dependency" = abi ] ||
      problems+=("tierlock_$name may depend on abi alone but depends on: $dependency")
  done
done

for name in "${silent[@]}"; do
  for dependency in ${direct[$name]:-}; do
    [ "$dependency" = log ] && problems+=("tierlock_$name logs nothing but depends on tierlock_log")
  done
done

# Everything a subsystem reaches through its declared dependencies.
reach() {
  local -A seen=()
  local pending=(${direct[$1]:-}) next
  while [ ${#pending[@]} -gt 0 ]; do
    next=${pending[0]}
    pending=("${pending[@]:1}")
    [ -n "${seen[$next]:-}" ] && continue
    seen[$next]=1
    pending+=(${direct[$next]:-})
  done
  echo "${!seen[@]}"
}

declare -A allowed=()
for name in "${!direct[@]}"; do
  reached=" $(reach "$name") "
  [[ $reached == *" $name "* ]] && problems+=("tierlock_$name depends on itself through a cycle")
  allowed[$name]="$name$reached"
done

for pair in "${side_by_side[@]}"; do
  read -r upper lower <<<"$pair"
  [ -n "${allowed[$upper]:-}" ] || continue
  if [[ " ${allowed[$upper]} " == *" $lower "* ]]; then
    problems+=("tierlock_$upper stands beside tierlock_$lower but depends on it")
  fi
done

# check_folder DIR SUBSYSTEM ALLOWED: every quoted include of a subsystem header in DIR.
files=0 includes=0
check_folder() {
  local dir=$1 owner=$2 permitted=" $3 " file line number target entry
  while IFS= read -r -d '' file; do
    files=$((files + 1))
    while IFS=: read -r number line; do
      target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^"]*)".*/\1/' <<<"$line")
      subsystem=${target%%/*}
      [ "$subsystem" != "$target" ] && [ -n "${direct[$subsystem]+known}" ] || continue
      includes=$((includes + 1))
      entry=${sealed[$subsystem]:-}
      if [ -n "$entry" ] && [ "$owner" != "tierlock_$subsystem" ] && [ "$target" != "$entry" ]; then
        problems+=("$file:$number includes $target, an internal header of tierlock_$subsystem; from outside it only $entry may be included")
        continue
      fi
      if [[ $permitted != *" $subsystem "* ]]; then
        problems+=("$file:$number includes $target, but $owner does not depend on tierlock_$subsystem")
      fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  done < <(find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z)
}

for name in "${!direct[@]}"; do
  check_folder "src/$name" "tierlock_$name" "${allowed[$name]}"
done
for dir in simhost tools; do
  [ -d "$dir" ] && check_folder "$dir" "$dir (the host side)" "abi"
done

while IFS=: read -r file number _; do
  problems+=("$file:$number calls GetRKProcessTreeCache; only tierlock_$cache_lookup_owner looks up the event's cache")
done < <(grep -rnE '\bGetRKProcessTreeCache[[:space:]]*\(' src --include='*.h' --include='*.cpp' |
  grep -v "^src/$cache_lookup_owner/" || true)

if [ ${#problems[@]} -gt 0 ]; then
  printf 'check-includes: %s\n' "${problems[@]}" >&2
  exit 1
fi
echo "check-includes: $includes includes in $files files follow the declared layers"
