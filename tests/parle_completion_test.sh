#!/usr/bin/env bash
# The bash completion of parle: what each partly typed command line completes to.
# Usage: parle_completion_test.sh COMPLETION-SCRIPT
set -u
source "$1"
cd "$(mktemp -d)" || exit 1
touch disk.d88 disk.fdi notes.txt
failures=0

# complete WORDS... : runs the completion with the last word as the one being typed.
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _parle
  ((${#COMPREPLY[@]} > 0)) && printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

expect() {
  local want=$1
  shift
  local got
  got=$(complete_line "$@")
  if [[ $got != "$want" ]]; then
    echo "FAIL: '$*' completes to '$got', expected '$want'"
    failures=$((failures + 1))
  fi
}

expect 'dump fix info ' parle ''
expect 'fix ' parle f
expect '--help --version ' parle --
expect '--json ' parle info --j
expect 'disk.d88 disk.fdi ' parle info dis
expect '--dry-run ' parle fix --d
expect '--revision= ' parle fix --rev
expect '1 2 3 ' parle fix -r ''
expect '--revision=2 ' parle fix --revision=2
expect '1 2 3 ' parle fix --revision = ''
expect '1 2 3 ' parle fix --revision =
expect '3 ' parle fix --revision = 3
expect 'disk.d88 disk.fdi notes.txt ' parle fix -o ''
expect '--output=disk.d88 ' parle fix --output=disk.d
expect 'disk.d88 ' parle fix disk.fdi --output = disk.d
expect '--print-offset ' parle dump --p
expect '--sjis ' parle dump --print-offset --s
expect 'disk.fdi ' parle dump --sjis disk.f
expect '' parle unknown ''

rm -f disk.d88 disk.fdi notes.txt
if ((failures > 0)); then
  echo "$failures completion case(s) failed"
  exit 1
fi
echo "parle completion: all cases pass"
