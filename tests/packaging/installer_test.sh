#!/usr/bin/env bash
# The Windows installer, silently under Wine: for the current user and for
# all users it installs the programs of the prefix's kind (the 64-bit ones
# in a 64-bit prefix, in "Program Files" itself, with the uninstall entry in
# the 64-bit registry), the texts with Windows' line ends, a Start-menu entry
# that works, the programs' folder on PATH after what was there, Explorer's
# verbs on files and folders and a Send To shortcut; its uninstaller takes
# all of it away again and leaves PATH as it found it.
# Usage: installer_test.sh SETUP_EXE x86|x64   (with WINEPREFIX set)
set -euo pipefail
setup="$(realpath "$1")"
arch="${2:-x86}"
export WINEDEBUG=-all
key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Sealdoor'
user_env='HKCU\Environment'
system_env='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'

unix() { winepath -u "$1" 2>/dev/null; }
reg_value() {  # reg_value KEY NAME: the value's data, empty when missing
  wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
    awk -v v="$2" 'tolower($1) == tolower(v) { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
# The default value of KEY, or its value NAME, as the registry holds it.
reg_of() {
  local which=(/ve)
  [ -n "${2:-}" ] && which=(/v "$2")
  wine reg query "$1" "${which[@]}" 2>/dev/null | tr -d '\r' | sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p'
}
fail() { echo "$mode: $*"; exit 1; }
gone() {  # gone PATH: waits until PATH is no more (a minute at most)
  local i
  for i in $(seq 600); do
    [ -e "$1" ] || return 0
    sleep 0.1
  done
  [ ! -e "$1" ]
}
# Waits for the installer's processes to end, two minutes at most: a program
# left running would otherwise hold the test, and the whole run, for ever.
settle() {
  timeout 120 wineserver -w && return 0
  echo "$mode: Wine's programs did not end within two minutes; still running:"
  ps -eo pid,args | grep -iE '\.exe|wine' | grep -v grep
  exit 1
}
crlf_only() { [ "$(tr -cd '\r' <"$1" | wc -c)" -eq "$(wc -l <"$1")" ] && [ "$(wc -l <"$1")" -gt 0 ]; }

case $arch in
  x86) kind='PE32 executable.*Intel 80386' ;;
  x64) kind='PE32\+ executable.*x86-64' ;;
  *) echo "usage: installer_test.sh SETUP_EXE x86|x64" >&2; exit 2 ;;
esac

for mode in CurrentUser AllUsers; do
  case $mode in
    CurrentUser) root=HKCU; env="$user_env"; menu="$(unix "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs" ;;
    AllUsers) root=HKLM; env="$system_env"; menu="$(unix "$(wine cmd /c echo %ALLUSERSPROFILE% | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs" ;;
  esac
  # Windows has no Send To for all users: it is the installing user's.
  sendto="$(unix "$(wine cmd /c echo %APPDATA% | tr -d '\r')")/Microsoft/Windows/SendTo/Sealdoor.lnk"
  # A PATH of the user's own, which must survive both ways.
  if [ $mode = CurrentUser ]; then wine reg add "$user_env" /v Path /t REG_EXPAND_SZ /d 'C:\keep\this' /f >/dev/null; fi
  path_before="$(reg_value "$env" Path)"

  wine "$setup" /S /$mode
  settle
  dir="$(reg_value "$root\\$key" InstallLocation)"
  [ -n "$dir" ] || fail "no uninstall entry"
  udir="$(unix "$dir")"
  for f in sealdoor.exe sealdoor-cli.exe README.txt LICENSE.txt uninstall.exe locale/de/LC_MESSAGES/sealdoor.mo; do
    [ -f "$udir/$f" ] || fail "$f not installed in $dir"
  done
  for f in sealdoor.exe sealdoor-cli.exe; do
    file "$udir/$f" | grep -Eq "$kind" || fail "$f is not the $arch build: $(file -b "$udir/$f")"
  done
  if [ $mode = AllUsers ] && [ $arch = x64 ]; then
    case "$dir" in *"(x86)"*) fail "installed in $dir, not in Program Files" ;; esac
  fi
  for f in README.txt LICENSE.txt; do crlf_only "$udir/$f" || fail "$f has not Windows' line ends"; done
  [ -f "$menu/Sealdoor.lnk" ] || fail "no Start-menu entry in $menu"
  [ "$(wine "$udir/sealdoor-cli.exe" --version | tr -d '\r')" = "sealdoor-cli 1.01" ] || fail "the installed CLI does not run"
  path_after="$(reg_value "$env" Path)"
  [ "$path_after" = "${path_before:+$path_before;}$dir" ] || fail "PATH is '$path_after', not '$path_before' and '$dir'"
  for class in '*' Directory; do
    for verb in Lock Unlock; do
      k="$root\Software\Classes\\$class\\shell\\Sealdoor$verb"
      option="--$(echo "$verb" | tr A-Z a-z)"
      [ "$(reg_of "$k")" = "$verb with Sealdoor" ] || fail "$k has no text"
      [ "$(reg_of "$k" MultiSelectModel)" = "Player" ] || fail "$k is not for many files"
      [ "$(reg_of "$k\command")" = "\"$dir\\sealdoor.exe\" $option \"%1\"" ] || fail "$k runs '$(reg_of "$k\command")'"
    done
  done
  [ -f "$sendto" ] || fail "no Send To shortcut at $sendto"

  # The uninstaller goes on in a copy of itself, which removes the folder last.
  wine "$udir/uninstall.exe" /S /$mode
  settle
  gone "$udir" || fail "left behind a minute later: $(ls "$udir")"
  [ ! -e "$menu/Sealdoor.lnk" ] || fail "the Start-menu entry stayed"
  [ -z "$(reg_value "$root\\$key" InstallLocation)" ] || fail "the uninstall entry stayed"
  [ "$(reg_value "$env" Path)" = "$path_before" ] || fail "PATH is '$(reg_value "$env" Path)', not '$path_before' again"
  for class in '*' Directory; do
    for verb in Lock Unlock; do
      ! wine reg query "$root\Software\Classes\\$class\\shell\\Sealdoor$verb" >/dev/null 2>&1 ||
        fail "the verb $class\Sealdoor$verb stayed"
    done
  done
  [ ! -e "$sendto" ] || fail "the Send To shortcut stayed"
  echo "$mode ($arch): installed and uninstalled"
done
