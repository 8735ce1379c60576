#!/usr/bin/env bash
# The Windows installer, silently under Wine: for the current user and for
# all users it installs the programs and a Start-menu entry that work, and
# its uninstaller takes all of it away again.
# Usage: installer_test.sh SETUP_EXE   (with WINEPREFIX set)
set -euo pipefail
setup="$(realpath "$1")"
export WINEDEBUG=-all
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Sealdoor'

unix() { winepath -u "$1" 2>/dev/null; }
reg_value() { wine reg query "$1\\$key" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

for mode in CurrentUser AllUsers; do
  case $mode in
    CurrentUser) root=HKCU; menu="$(unix "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs" ;;
    AllUsers) root=HKLM; menu="$(unix "$(wine cmd /c echo %ALLUSERSPROFILE% | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs" ;;
  esac
  wine "$setup" /S /$mode
  wineserver -w
  dir="$(reg_value "$root" InstallLocation)"
  [ -n "$dir" ] || { echo "$mode: no uninstall entry"; exit 1; }
  udir="$(unix "$dir")"
  for f in sealdoor.exe sealdoor-cli.exe README.txt LICENSE.txt uninstall.exe; do
    [ -f "$udir/$f" ] || { echo "$mode: $f not installed in $dir"; exit 1; }
  done
  [ -f "$menu/Sealdoor.lnk" ] || { echo "$mode: no Start-menu entry in $menu"; exit 1; }
  [ "$(wine "$udir/sealdoor-cli.exe" --version | tr -d '\r')" = "sealdoor-cli 1.01" ] || { echo "$mode: the installed CLI does not run"; exit 1; }

  wine "$udir/uninstall.exe" /S /$mode
  wineserver -w
  sleep 1
  [ ! -e "$udir" ] || { echo "$mode: left behind: $(ls "$udir")"; exit 1; }
  [ ! -e "$menu/Sealdoor.lnk" ] || { echo "$mode: the Start-menu entry stayed"; exit 1; }
  [ -z "$(reg_value "$root" InstallLocation)" ] || { echo "$mode: the uninstall entry stayed"; exit 1; }
  echo "$mode: installed and uninstalled"
done
