; Explorer's menu: "Lock with Sealdoor" and "Unlock with Sealdoor" on every
; file (Software\Classes\*) and folder (Directory), and "Sealdoor" in Send To.
; The verbs go where the install went: SHCTX is the user's classes for a
; per-user install and the machine's for an install for all users. Windows
; has no Send To folder for all users: the shortcut is the installing
; user's. The uninstaller takes all of it away.
;
; Included by sealdoor.nsi between its install and uninstall sections.

; One verb: its text, the program's icon, every selected item handed over
; (Explorer starts one process per item; the window gathers them), the
; path in quotes.
!macro SEALDOOR_VERB CLASS KEY TEXT OPTION
  WriteRegStr SHCTX "Software\Classes\${CLASS}\shell\${KEY}" "" "${TEXT}"
  WriteRegStr SHCTX "Software\Classes\${CLASS}\shell\${KEY}" "Icon" "$INSTDIR\sealdoor.exe"
  WriteRegStr SHCTX "Software\Classes\${CLASS}\shell\${KEY}" "MultiSelectModel" "Player"
  WriteRegStr SHCTX "Software\Classes\${CLASS}\shell\${KEY}\command" "" '"$INSTDIR\sealdoor.exe" ${OPTION} "%1"'
!macroend

!define SEALDOOR_SHCNE_ASSOCCHANGED 0x08000000

Section "-Explorer's menu"
  !insertmacro SEALDOOR_VERB "*" "SealdoorLock" "Lock with Sealdoor" "--lock"
  !insertmacro SEALDOOR_VERB "*" "SealdoorUnlock" "Unlock with Sealdoor" "--unlock"
  !insertmacro SEALDOOR_VERB "Directory" "SealdoorLock" "Lock with Sealdoor" "--lock"
  !insertmacro SEALDOOR_VERB "Directory" "SealdoorUnlock" "Unlock with Sealdoor" "--unlock"
  CreateShortcut "$SENDTO\Sealdoor.lnk" "$INSTDIR\sealdoor.exe"
  ; Explorer reads its menus anew.
  System::Call 'shell32::SHChangeNotify(i ${SEALDOOR_SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd

Section "-un.Explorer's menu"
  DeleteRegKey SHCTX "Software\Classes\*\shell\SealdoorLock"
  DeleteRegKey SHCTX "Software\Classes\*\shell\SealdoorUnlock"
  DeleteRegKey SHCTX "Software\Classes\Directory\shell\SealdoorLock"
  DeleteRegKey SHCTX "Software\Classes\Directory\shell\SealdoorUnlock"
  Delete "$SENDTO\Sealdoor.lnk"
  System::Call 'shell32::SHChangeNotify(i ${SEALDOOR_SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd
