#!/usr/bin/env bash
# What bash completes for sealdoor-cli at each place of its command line.
set -euo pipefail
source "$1"
window="${2:+$(realpath "$2")}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
touch notes.txt -- -odd
complete_at() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _sealdoor_cli
  echo "${COMPREPLY[*]}"
}
check() {
  local expected="$1"
  shift
  local got
  got="$(complete_at "$@")"
  if [ "$got" != "$expected" ]; then
    echo "completing '$*': got '$got', expected '$expected'"
    exit 1
  fi
}
check "lock" sealdoor-cli lo
check "unlock" sealdoor-cli un
check "--password-stdin" sealdoor-cli lock --pass
check "--quiet" sealdoor-cli status --q
check "notes.txt" sealdoor-cli lock no
check "" sealdoor-cli lock notes.txt --q   # options only before the first file
check "-odd" sealdoor-cli unlock -- -o
check "edit" sealdoor-cli ed
check "--password-stdin" sealdoor-cli edit --pa
check "" sealdoor-cli edit --re              # edit takes no folders
check "" sealdoor-cli edit notes.txt no      # and one file

# sealdoor, the window: its options, then files.
if [ -n "$window" ]; then
  source "$window"
  complete_window() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _sealdoor
    echo "${COMPREPLY[*]}"
  }
  for c in "--lock|sealdoor --lo" "--unlock --unlock-and-open|sealdoor --unl" "notes.txt|sealdoor --lock no" \
           "-odd|sealdoor -- -o"; do
    expected="${c%%|*}"
    read -ra words <<< "${c#*|}"
    got="$(complete_window "${words[@]}")"
    [ "$got" = "$expected" ] || { echo "completing '${c#*|}': got '$got', expected '$expected'"; exit 1; }
  done
fi
echo "completion ok"
