#!/usr/bin/env bash
# readme_commands.sh SOURCE_DIR: the README offers exactly two commands for a
# fresh machine, and CI runs the README's test command.
set -euo pipefail
source=$1
fail() { echo "readme test: $*" >&2; exit 1; }
block=$(awk '/^## Two commands/{on=1} on&&/^```sh/{inblock=1;next} inblock&&/^```/{exit} inblock{print}' "$source/README.md" \
  | grep -v -E '^[[:space:]]*(#|$)')
[ "$(echo "$block" | grep -c .)" = 2 ] || fail "the README's command block does not hold exactly two commands"
start=$(echo "$block" | sed -n 1p | sed 's/ *#.*//')
test_command=$(echo "$block" | sed -n 2p | sed 's/ *#.*//')
[ -f "$source/${start#bash }" ] || fail "the first command ($start) names no script"
grep -qxF "$test_command" "$source/.ci/run" || fail "CI does not run the README's test command ($test_command)"
echo "readme test: $start / $test_command"
