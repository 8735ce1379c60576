#!/usr/bin/env bash
# The Windows installer, silently under Wine: for the current user and for
# all users it installs the programs, a Start-menu entry, Explorer's verbs on
# files and folders and a Send To shortcut, and its uninstaller takes all of
# it away again.
# Usage: installer_test.sh SETUP_EXE   (with WINEPREFIX set)
set -euo pipefail
setup="$(realpath "$1")"
export WINEDEBUG=-all
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Sealdoor'

unix() { winepath -u "$1" 2>/dev/null; }
# The value NAME of KEY (its default value without NAME), as the registry holds it.
reg_of() {
  local which=(/ve)
  [ -n "${2:-}" ] && which=(/v "$2")
  wine reg query "$1" "${which[@]}" 2>/dev/null | tr -d '\r' | sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p'
}
reg_value() { wine reg query "$1\\$key" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'; }

for mode in CurrentUser AllUsers; do
  case $mode in
    CurrentUser) root=HKCU; menu="$(unix "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs" ;;
    AllUsers) root=HKLM; menu="$(unix "$(wine cmd /c echo %ALLUSERSPROFILE% | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs" ;;
  esac
  # Windows has no Send To for all users: it is the installing user's.
  sendto="$(unix "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/SendTo/Sealdoor.lnk"
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
  for class in '*' Directory; do
    for verb in Lock Unlock; do
      k="$root\Software\Classes\$class\shell\Sealdoor$verb"
      option="--$(echo "$verb" | tr A-Z a-z)"
      [ "$(reg_of "$k")" = "$verb with Sealdoor" ] || { echo "$mode: $k has no text"; exit 1; }
      [ "$(reg_of "$k" MultiSelectModel)" = "Player" ] || { echo "$mode: $k is not for many files"; exit 1; }
      [ "$(reg_of "$k\command")" = "\"$dir\\sealdoor.exe\" $option \"%1\"" ] ||
        { echo "$mode: $k runs '$(reg_of "$k\command")'"; exit 1; }
    done
  done
  [ -f "$sendto" ] || { echo "$mode: no Send To shortcut at $sendto"; exit 1; }

  wine "$udir/uninstall.exe" /S /$mode
  wineserver -w
  sleep 1
  [ ! -e "$udir" ] || { echo "$mode: left behind: $(ls "$udir")"; exit 1; }
  [ ! -e "$menu/Sealdoor.lnk" ] || { echo "$mode: the Start-menu entry stayed"; exit 1; }
  [ -z "$(reg_value "$root" InstallLocation)" ] || { echo "$mode: the uninstall entry stayed"; exit 1; }
  for class in '*' Directory; do
    for verb in Lock Unlock; do
      wine reg query "$root\Software\Classes\$class\shell\Sealdoor$verb" >/dev/null 2>&1 &&
        { echo "$mode: the verb $class\Sealdoor$verb stayed"; exit 1; }
    done
  done
  [ ! -e "$sendto" ] || { echo "$mode: the Send To shortcut stayed"; exit 1; }
  echo "$mode: installed and uninstalled"
done
