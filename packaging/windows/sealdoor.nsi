; The Windows installer: Sealdoor for one user or for all users, a
; Start-menu entry, an uninstaller. It writes nothing else (the program keeps
; no settings): the programs, the shortcut, Explorer's menu entries and Send
; To (verbs.nsh), and the entry through which Windows offers to uninstall it.
;
;   makensis -DBINDIR=... -DDOCDIR=... -DOUTFILE=... sealdoor.nsi
; Silent: sealdoor-setup-x86.exe /S [/CurrentUser | /AllUsers]; uninstall.exe /S

Unicode true
!define APP "Sealdoor"
!define VERSION "1.01"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!include MultiUser.nsh
!include MUI2.nsh

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
!define MUI_ICON "${DOCDIR}\..\icons\padlock-closed.ico"
!define MUI_UNICON "${DOCDIR}\..\icons\padlock-open.ico"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "FileDescription" "${APP} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Sealdoor developers (MIT)"

Function .onInit
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Sealdoor"
  SetOutPath "$INSTDIR"
  File "${BINDIR}\sealdoor.exe"
  File "${BINDIR}\sealdoor-cli.exe"
  File "${DOCDIR}\README.txt"
  File "/oname=LICENSE.txt" "${DOCDIR}\..\..\LICENSE"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\sealdoor.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Sealdoor developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\sealdoor.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!include "verbs.nsh"  ; beside this script: makensis works in its folder

Section "Uninstall"
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$INSTDIR\sealdoor.exe"
  Delete "$INSTDIR\sealdoor-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
