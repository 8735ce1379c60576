#!/usr/bin/env bash
# The icons kept in packaging/icons are the padlock the window draws today:
# drawn again, every file comes out the same. (After changing the drawing,
# run scripts/make-icons.)
set -euo pipefail
tool="$1" kept="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
QT_QPA_PLATFORM=offscreen "$tool" "$scratch" 2>/dev/null
status=0
for f in "$scratch"/*; do
  name="$(basename "$f")"
  if ! cmp -s "$f" "$kept/$name"; then
    echo "packaging/icons/$name differs from the padlock drawn now; run scripts/make-icons"
    status=1
  fi
done
exit $status
