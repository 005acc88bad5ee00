#!/usr/bin/env bash
# The mutation run: puts each fault of tests/mutants/mutants.txt into the
# library, one at a time, rebuilds, runs the tests that should catch it and
# restores the file. A mutant is killed when one of its tests fails.
# Ends with "N killed, N survived" and names the survivors.
#
# Usage: scripts/mutate.sh [--check] [--changed [BASE]] [--file PATH]... [NUMBER...]
#   nothing chosen:   every mutant of the list
#   NUMBER:           that mutant
#   --file PATH:      the mutants that change PATH (from the repository root)
#   --changed [BASE]: the mutants whose file differs between the git
#                     revision BASE (by default the merge base with main) and
#                     the working tree; none: says so and ends at once
#   --check:          only say whether each chosen mutant's text is still
#                     found (seconds)
# Choices add up: `--changed 5` runs mutant 5 and those of the changed files.
#
# Not part of CI: run it on demand, after changing tests or the code a mutant
# points at; `--changed` after each change of the library's code. Logs go to
# build/mutants/<number>.log.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
list=tests/mutants/mutants.txt

# --- The list ---------------------------------------------------------------
numbers=() descriptions=() files=() finds=() replaces=() regexes=()
current=-1
while IFS= read -r line || [ -n "$line" ]; do
  case $line in '' | '#'*) continue ;; esac
  key=${line%%[[:space:]]*}
  value=${line#"$key"}
  value=${value#"${value%%[![:space:]]*}"}
  if [ "$key" = mutant ]; then
    current=${#numbers[@]}
    numbers+=("${value%%[[:space:]]*}")
    descriptions+=("$(sed -E 's/^[^[:space:]]+[[:space:]]*//' <<<"$value")")
    files+=("") finds+=("") replaces+=("") regexes+=("")
    continue
  fi
  [ "$current" -ge 0 ] || { echo "$list: '$key' before the first mutant" >&2; exit 2; }
  case $key in
    file) files[current]=$value ;;
    find) finds[current]=$value ;;
    replace) replaces[current]=$value ;;
    tests) regexes[current]=$value ;;
    *) echo "$list: unknown key '$key' in mutant ${numbers[current]}" >&2; exit 2 ;;
  esac
done <"$list"

# --- Which mutants -----------------------------------------------------------
check=0 by_change=0 base="" wanted_numbers=() wanted_files=()
arguments=("$@")
while [ $# -gt 0 ]; do
  case $1 in
    --check) check=1 ;;
    --changed)
      by_change=1
      # A revision may follow; a mutant's number is never taken for one.
      if [ $# -gt 1 ] && [[ $2 != -* ]] && ! [[ $2 =~ ^[0-9]+$ ]]; then
        base=$2
        shift
      fi
      ;;
    --file)
      [ $# -gt 1 ] || { echo "--file needs a path" >&2; exit 2; }
      path=${2#"$root"/}
      wanted_files+=("${path#./}")
      shift
      ;;
    -*) echo "unknown option $1 (see the usage at the top of $0)" >&2; exit 2 ;;
    *) wanted_numbers+=("$1") ;;
  esac
  shift
done
if [ "$by_change" = 1 ]; then
  if [ -z "$base" ]; then
    base=$(git merge-base HEAD main) || { echo "no merge base with main: name a revision after --changed" >&2; exit 2; }
  fi
  changed=$(git diff --name-only "$base" --) || { echo "cannot compare with '$base'" >&2; exit 2; }
  while IFS= read -r path; do [ -n "$path" ] && wanted_files+=("$path"); done <<<"$changed"
fi

selected=()
if [ ${#wanted_numbers[@]} -eq 0 ] && [ ${#wanted_files[@]} -eq 0 ] && [ "$by_change" = 0 ]; then
  selected=("${!numbers[@]}")
else
  for wanted in "${wanted_numbers[@]}"; do
    found=""
    for i in "${!numbers[@]}"; do [ "${numbers[i]}" = "$wanted" ] && found=$i; done
    [ -n "$found" ] || { echo "no mutant $wanted in $list" >&2; exit 2; }
    selected+=("$found")
  done
  for i in "${!numbers[@]}"; do
    for path in "${wanted_files[@]}"; do
      if [ "${files[i]}" = "$path" ] && [[ " ${selected[*]} " != *" $i "* ]]; then selected+=("$i"); fi
    done
  done
  if [ ${#selected[@]} -eq 0 ]; then
    echo "no mutant changes$([ "$by_change" = 1 ] && echo " the files changed since ${base:0:12}:")" \
      "${wanted_files[*]:-(no file)}"
    exit 0
  fi
  if [ -z "${VTX_MUTATE_INNER:-}" ] && [ ${#wanted_files[@]} -gt 0 ]; then
    chosen=()
    for i in "${selected[@]}"; do chosen+=("${numbers[i]}"); done
    echo "mutants ${chosen[*]}"
  fi
fi
for i in "${selected[@]}"; do
  if [ -z "${files[i]}" ] || [ -z "${finds[i]}" ] || [ -z "${regexes[i]}" ]; then
    echo "$list: mutant ${numbers[i]} needs file, find and tests" >&2
    exit 2
  fi
done

# Replaces the one occurrence of `find` in the file with `replace` ("\n" in
# either is a line break, "\\" a backslash). Exit code 3 when the text does
# not occur exactly once. With dry=1 only the count is checked.
apply() {
  MUTATE_FIND=$1 MUTATE_REPLACE=$2 MUTATE_DRY=${dry:-} perl -e '
    my $path = $ARGV[0];
    my ($find, $replace) = map { s/\\([\\n])/$1 eq "n" ? "\n" : "\\"/ger } @ENV{qw(MUTATE_FIND MUTATE_REPLACE)};
    open(my $in, "<:raw", $path) or die "$path: $!";
    my $text = do { local $/; <$in> };
    close $in;
    my $at = index($text, $find);
    exit 3 if $at < 0 || index($text, $find, $at + 1) >= 0;
    exit 0 if $ENV{MUTATE_DRY};
    substr($text, $at, length $find) = $replace;
    open(my $out, ">:raw", $path) or die "$path: $!";
    print $out $text;
    close $out;
  ' "$3"
}

if [ "$check" = 1 ]; then
  stale=0
  for i in "${selected[@]}"; do
    if ! dry=1 apply "${finds[i]}" "${replaces[i]}" "${files[i]}"; then
      echo "mutant ${numbers[i]}: the text to find does not occur exactly once in ${files[i]}"
      stale=1
    fi
  done
  [ "$stale" = 0 ] && echo "every mutant applies"
  exit "$stale"
fi

# A mutated file is restored from git's version, so it must have no changes
# of its own.
mutated_files=()
for i in "${selected[@]}"; do mutated_files+=("${files[i]}"); done
if [ -n "$(git status --porcelain -- "${mutated_files[@]}")" ]; then
  echo "refusing to start: these files have uncommitted changes:" >&2
  git status --short -- "${mutated_files[@]}" >&2
  exit 2
fi

# --- Under Xvfb, with the project's Wine server ------------------------------
if [ -z "${VTX_MUTATE_INNER:-}" ]; then
  source scripts/build-env.sh
  CMAKE_BUILD_PARALLEL_LEVEL=2 vtx_build >/dev/null
  VTX_MUTATE_INNER=1 exec xvfb-run -a "$0" "${arguments[@]}"
fi

source scripts/wine-env.sh
logs=build/mutants
mkdir -p "$logs"
applied=""

restore() {
  if [ -n "$applied" ]; then
    git checkout --quiet -- "$applied"
    applied=""
  fi
}
finish() {
  local status=$?
  restore
  vtx_wine_stop
  [ "$status" = 130 ] && echo && echo "interrupted; the mutated file is restored"
  exit "$status"
}
trap finish EXIT
trap 'exit 130' INT TERM
vtx_wine_start

started=$(date +%s)
killed=() survived=() broken=()
for i in "${selected[@]}"; do
  n=${numbers[i]}
  log=$logs/$n.log
  label="$n (${descriptions[i]})"
  printf 'mutant %-3s %s ... ' "$n" "${descriptions[i]}"
  # Named before it changes, so an interruption at any point restores it.
  applied=${files[i]}
  if ! apply "${finds[i]}" "${replaces[i]}" "${files[i]}"; then
    echo "NOT APPLIED: the text to find does not occur exactly once in ${files[i]}"
    broken+=("$label")
    restore
    continue
  fi
  git diff -- "$applied" >"$log"
  if ! cmake --build --preset mingw -j2 >>"$log" 2>&1; then
    echo "DOES NOT BUILD (see $log)"
    broken+=("$label")
    restore
    continue
  fi
  # Without the mixed-bitness and Clang runs: they need the 64-bit build's
  # peer or the Clang build's DLL (which carries no mutant), and a test that
  # cannot run must not count as one that caught the mutant.
  if ctest --preset mingw -R "${regexes[i]}" -LE "mixed|clang" --no-tests=error --stop-on-failure >>"$log" 2>&1; then
    echo "SURVIVED"
    survived+=("$label")
  elif grep -q "No tests were found" "$log"; then
    echo "NO TESTS match '${regexes[i]}'"
    broken+=("$label")
  else
    first=$(grep -m1 -E '\*\*\*(Failed|Timeout|Exception)' "$log" | sed -E 's/.*Test +#[0-9]+: ([^ ]+).*/\1/')
    echo "killed by $first"
    killed+=("$label")
  fi
  restore
done

# The build folder matches the restored sources again.
cmake --build --preset mingw -j2 >"$logs/rebuild.log" 2>&1 || echo "the rebuild of the restored tree failed: see $logs/rebuild.log"

elapsed=$(($(date +%s) - started))
echo
echo "${#killed[@]} killed, ${#survived[@]} survived$([ ${#broken[@]} -gt 0 ] && echo ", ${#broken[@]} not run")" \
  "in $((elapsed / 60)) min $((elapsed % 60)) s"
for label in "${survived[@]}"; do echo "survived: mutant $label"; done
for label in "${broken[@]}"; do echo "not run (re-point it): mutant $label"; done
[ ${#survived[@]} -eq 0 ] && [ ${#broken[@]} -eq 0 ]
