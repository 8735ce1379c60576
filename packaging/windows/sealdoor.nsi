; The Windows installer: Sealdoor for one user or for all users, the 64-bit
; programs on 64-bit Windows and the 32-bit ones elsewhere, a Start-menu
; entry, sealdoor-cli on PATH if wanted, Explorer's menu entries and Send To
; (verbs.nsh), an uninstaller. It writes nothing else (the program keeps no
; settings): the programs, the shortcuts, the PATH entry, the menu entries,
; and the entry through which Windows offers to uninstall it.
;
;   makensis -DBINDIR32=... -DBINDIR64=... -DTEXTDIR=... -DDOCDIR=... -DOUTFILE=... sealdoor.nsi
; BINDIR32 and BINDIR64 hold each build's sealdoor.exe and sealdoor-cli.exe,
; TEXTDIR README.txt and LICENSE.txt (CRLF), DOCDIR is packaging/windows.
; Silent: sealdoor-setup.exe /S [/CurrentUser | /AllUsers]; uninstall.exe /S
;
; -DTARGET_AMD64 builds the same installer as a 64-bit program, for testing
; it where 32-bit programs cannot run (Wine without its 32-bit loader). The
; installer shipped is the 32-bit one: it runs on every Windows.

!ifdef TARGET_AMD64
  Target amd64-unicode
!else
  Unicode true
!endif
ManifestDPIAware true
!define APP "Sealdoor"
!define VERSION "1.01"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define USER_ENVIRONMENT "Environment"
!define SYSTEM_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
; "Program Files" itself on 64-bit Windows, not its "(x86)" twin; the same
; folder on 32-bit Windows.
!define MULTIUSER_USE_PROGRAMFILES64
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include x64.nsh
!include StrFunc.nsh
${Using:StrFunc} StrStr
${Using:StrFunc} UnStrRep

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${APP} ${VERSION}"
!define MUI_ICON "${DOCDIR}\..\icons\padlock-closed.ico"
!define MUI_UNICON "${DOCDIR}\..\icons\padlock-open.ico"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Run Sealdoor"
!define MUI_FINISHPAGE_RUN_FUNCTION RunSealdoor
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "FileDescription" "${APP} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Sealdoor developers (MIT)"

; The uninstall entry and the machine's PATH in the registry of the
; programs installed: the 64-bit one on 64-bit Windows.
!macro NativeRegistry
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

Function .onInit
  !insertmacro NativeRegistry
  !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
  !insertmacro NativeRegistry
  !insertmacro MULTIUSER_UNINIT
FunctionEnd

; Started through Explorer: as the user, not with the rights an install for
; all users was given.
Function RunSealdoor
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\sealdoor.exe"'
FunctionEnd

Section "Sealdoor" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${BINDIR64}\sealdoor.exe"
    File "${BINDIR64}\sealdoor-cli.exe"
  ${Else}
    File "${BINDIR32}\sealdoor.exe"
    File "${BINDIR32}\sealdoor-cli.exe"
  ${EndIf}
  File "${TEXTDIR}\README.txt"
  File "${TEXTDIR}\LICENSE.txt"
  ; The translations' catalogues, the same for both builds.
  File /r "${BINDIR64}\locale"
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

; PATH as the user or the machine has it, in $0; $1 is 1 when it could be
; read whole (or is not there), 0 when it is too long for the installer's
; strings: then it must be left as it is, never written back cut.
!macro ReadPath
  ClearErrors
  ${If} $MultiUser.InstallMode == "AllUsers"
    ReadRegStr $0 HKLM "${SYSTEM_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $0 HKCU "${USER_ENVIRONMENT}" "Path"
  ${EndIf}
  StrCpy $1 1
  ${If} ${Errors}
    ; Missing, or too long to read: only the list of names tells which.
    StrCpy $2 0
    ${Do}
      ${If} $MultiUser.InstallMode == "AllUsers"
        EnumRegValue $3 HKLM "${SYSTEM_ENVIRONMENT}" $2
      ${Else}
        EnumRegValue $3 HKCU "${USER_ENVIRONMENT}" $2
      ${EndIf}
      ${If} $3 == "Path"
        StrCpy $1 0
      ${EndIf}
      IntOp $2 $2 + 1
    ${LoopUntil} $3 == ""
  ${EndIf}
  ; Room for the folder and the separators around it.
  StrLen $2 $0
  StrLen $3 $INSTDIR
  IntOp $2 $2 + $3
  IntOp $2 $2 + 3
  ${If} $2 >= ${NSIS_MAX_STRLEN}
    StrCpy $1 0
  ${EndIf}
!macroend

!macro WritePath
  ${If} $MultiUser.InstallMode == "AllUsers"
    WriteRegExpandStr HKLM "${SYSTEM_ENVIRONMENT}" "Path" "$0"
  ${ElseIf} $0 == ""
    DeleteRegValue HKCU "${USER_ENVIRONMENT}" "Path"
  ${Else}
    WriteRegExpandStr HKCU "${USER_ENVIRONMENT}" "Path" "$0"
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

; sealdoor-cli from any command prompt: the folder at the end of the user's
; PATH (the machine's, for all users).
Section "sealdoor-cli on PATH" SecPath
  !insertmacro ReadPath
  ${If} $1 == 0
    DetailPrint "PATH is too long to change here: add $INSTDIR to it by hand."
    Return
  ${EndIf}
  ${StrStr} $2 ";$0;" ";$INSTDIR;"
  ${If} $2 != ""
    Return
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  !insertmacro WritePath
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "OnPath" 1
SectionEnd

LangString DESC_Program ${LANG_ENGLISH} "The window, the command line and the uninstaller, with a Start-menu entry."
LangString DESC_Path ${LANG_ENGLISH} "Run sealdoor-cli from any command prompt: its folder is added to PATH."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} $(DESC_Program)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} $(DESC_Path)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

!include "verbs.nsh"  ; beside this script: makensis works in its folder

Section "Uninstall"
  ; The PATH entry, only where the installer made it; the rest of PATH as it is.
  ReadRegDWORD $4 SHCTX "${UNINSTALL_KEY}" "OnPath"
  ${If} $4 == 1
    !insertmacro ReadPath
    ${If} $1 == 1
      ${UnStrRep} $0 ";$0;" ";$INSTDIR;" ";"
      ; Without the separators put around it.
      StrCpy $0 $0 "" 1
      StrCpy $0 $0 -1
      !insertmacro WritePath
    ${EndIf}
  ${EndIf}
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$INSTDIR\sealdoor.exe"
  Delete "$INSTDIR\sealdoor-cli.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  RMDir /r "$INSTDIR\locale"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
