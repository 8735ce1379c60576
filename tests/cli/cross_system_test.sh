#!/usr/bin/env bash
# Files locked by the Linux build unlock with the Windows build (under Wine)
# byte for byte, and the other way round; a name in another script too.
# Usage: cross_system_test.sh LINUX_CLI WINDOWS_CLI_EXE
set -euo pipefail
linux="$(realpath "$1")" windows="$(realpath "$2")"
export WINEDEBUG=-all
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
for size in 0 1 53 54 55 701 702 1000 100000; do
  head -c "$size" /dev/urandom > plain
  cp plain by-linux; cp plain by-windows
  echo Cross1 | "$linux" lock --password-stdin by-linux
  echo Cross1 | wine "$windows" lock --password-stdin by-windows
  [ "$(wc -c < by-windows)" -eq $((size + 702)) ] || { echo "size $size: Windows locked it wrong"; exit 1; }
  echo Cross1 | wine "$windows" unlock --password-stdin by-linux
  echo Cross1 | "$linux" unlock --password-stdin by-windows
  cmp plain by-linux || { echo "size $size: locked on Linux, unlocked on Windows: differs"; exit 1; }
  cmp plain by-windows || { echo "size $size: locked on Windows, unlocked on Linux: differs"; exit 1; }
done
name="файл-文件.txt"
echo "hello" > "$name"
echo Cross1 | wine "$windows" lock --password-stdin "$name"
[ "$("$linux" status "$name")" = "$name: locked" ] || { echo "a non-Latin name was not locked by Windows"; exit 1; }
echo Cross1 | "$linux" unlock --password-stdin "$name"
[ "$(cat "$name")" = "hello" ]
# One program file each: no DLL but Windows' own.
dlls="$(objdump -p "$windows" | awk '/DLL Name/ { print tolower($3) }' | grep -v -E '^(kernel32|user32|gdi32|advapi32|shell32|comdlg32|comctl32|ole32|msvcrt|ws2_32|uxtheme|dwmapi|shlwapi|version)\.dll$' || true)"
[ -z "$dlls" ] || { echo "needs DLLs that are not Windows' own: $dlls"; exit 1; }
echo "cross-system ok"
