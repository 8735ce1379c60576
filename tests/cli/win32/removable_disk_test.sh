#!/usr/bin/env bash
# sealdoor-cli.exe under Wine on a removable disk's file system (exFAT, as
# USB sticks have it: no named streams, no second names), made in an image
# and given to Wine as drive R:. Stopped at random moments in batches, as
# Task Manager stops a program: every file stays whole under its name, and
# a later run in the folder leaves nothing of ours behind.
# Needs root (to mount the image); says why and ends with 0 where it cannot.
# Usage: removable_disk_test.sh WINDOWS_CLI_EXE LINUX_CLI [ROUNDS]  (with WINEPREFIX set)
set -euo pipefail
exe="$(realpath "$1")" linux="$(realpath "$2")" rounds="${3:-8}"
export WINEDEBUG=-all
skip() { echo "removable disk under Wine: not tested here: $*"; exit 0; }
[ "$(id -u)" -eq 0 ] || skip "mounting a disk image needs root"
command -v mkfs.exfat >/dev/null || skip "mkfs.exfat is missing"

scratch="$(mktemp -d)"
mnt="$scratch/mnt" loop=""
cleanup() {
  rm -f "$WINEPREFIX/dosdevices/r:"
  umount "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null || true
  [ -n "$loop" ] && losetup -d "$loop" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$mnt"
truncate -s 256M "$scratch/image"
mkfs.exfat "$scratch/image" >/dev/null
if ! mount -o loop "$scratch/image" "$mnt" 2>/dev/null; then
  command -v mount.exfat-fuse >/dev/null || skip "no exFAT driver (neither the kernel's nor exfat-fuse)"
  loop="$(losetup -f --show "$scratch/image")"
  mount.exfat-fuse "$loop" "$mnt" >/dev/null
fi
ln -sfn "$mnt" "$WINEPREFIX/dosdevices/r:"

# Files of several sizes, their plain and their locked content (the locked
# form's content part is the same whoever locks it; the head is random).
mkdir -p "$mnt/batch" "$scratch/plain" "$scratch/locked"
names=()
for i in $(seq 1 30); do
  n="file$i.doc"; names+=("$n")
  if [ "$i" = 9 ]; then size=$((6 << 20)); else size=$((1000 + i * 321)); fi
  head -c "$size" /dev/urandom >"$scratch/plain/$n"
  cp "$scratch/plain/$n" "$scratch/locked/$n"
done
echo Remove1 | "$linux" lock --password-stdin --quiet "$scratch/locked/"*
whole() {  # whole NAME: the file is its plain or its complete locked form
  cmp -s "$mnt/batch/$1" "$scratch/plain/$1" && return 0
  cmp -s <(tail -c +703 "$mnt/batch/$1") <(tail -c +703 "$scratch/locked/$1") &&
    [ "$(stat -c %s "$mnt/batch/$1")" -eq "$(stat -c %s "$scratch/locked/$1")" ]
}
reset() { for n in "${names[@]}"; do cp "$scratch/plain/$n" "$mnt/batch/$n"; done; }
# A run, bounded: a Wine that hangs while it starts a program (its own
# services starting with a new server, on a loaded machine) is restarted,
# and the run made once more; a second hang is a failure.
run_once() { (cd "$mnt/batch" && echo Remove1 | timeout 120 wine "$exe" "$1" --password-stdin --quiet "${names[@]}" >/dev/null 2>&1); }
run() {
  local status=0
  run_once "$1" || status=$?
  [ "$status" -ne 124 ] && return "$status"
  echo "Wine did not finish a run within two minutes; restarting Wine and running it again"
  wineserver -k 2>/dev/null || true
  status=0
  run_once "$1" || status=$?
  [ "$status" -ne 124 ] || { echo "Wine did not finish a run within two minutes, twice"; exit 1; }
  return "$status"
}
# After a kill, until Wine has let go of the killed program (its files'
# handles with it), a minute at most.
gone() {
  local i
  for i in $(seq 600); do
    pgrep -f -- "$(basename "$exe") (lock|unlock) --password-stdin" >/dev/null || return 0
    sleep 0.1
  done
  echo "the killed program was still known to Wine after a minute"
  exit 1
}

reset
start=$(date +%s%N); run lock || true; span=$(( ($(date +%s%N) - start) / 1000 ))
missing=0
for r in $(seq 1 "$rounds"); do
  reset
  # In a process group of its own, all of which is stopped at once.
  setsid bash -c "$(declare -f run_once); names=(${names[*]@Q}); exe=${exe@Q}; mnt=${mnt@Q}; run_once lock" &
  job=$!
  sleep "$(awk -v s="$span" -v r="$RANDOM" 'BEGIN { printf "%.3f", s * (r / 32768) / 1e6 }')"
  kill -9 -- "-$job" 2>/dev/null || true
  wait "$job" 2>/dev/null || true
  gone
  for n in "${names[@]}"; do
    if [ ! -e "$mnt/batch/$n" ]; then missing=$((missing + 1)); continue; fi
    whole "$n" || { echo "round $r: $n is neither its original nor its complete locked form"; exit 1; }
  done
  run lock || true
  left="$(ls -A "$mnt/batch" | grep '^\.sealdoor-' || true)"
  [ -z "$left" ] || { echo "round $r: left behind after a later run: $left"; exit 1; }
  for n in "${names[@]}"; do
    cmp -s <(tail -c +703 "$mnt/batch/$n") <(tail -c +703 "$scratch/locked/$n") ||
      { echo "round $r: $n not locked by the later run"; exit 1; }
  done
done
run unlock
for n in "${names[@]}"; do cmp -s "$mnt/batch/$n" "$scratch/plain/$n" || { echo "$n did not come back"; exit 1; }; done
echo "removable disk under Wine: $rounds kills during batches on exFAT, every file whole ($missing waited for the next run), nothing left"
