; The set-up for Windows users: per user, no elevation. Installs Quenlit.exe and Help.txt, a Start
; menu shortcut and the Apps & Features entry, and optionally starts Quenlit at sign-in.
; Built by setup/build.sh, which passes VERSION, EXE, HELP, ICON and OUTFILE.
; Switches: /S (silent), /AUTOSTART=0|1, /D=<folder>; Uninstall.exe /S [/REMOVEDATA=1].
Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma
ManifestDPIAware true

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT "Quenlit"
!define PUBLISHER "Pellomir"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe"
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
; The program's main window: its class and caption.
!define WINDOW_CLASS "QuenlitForm"
!define WINDOW_TITLE "Quenlit"
; How long a running Quenlit may take to save its list and end, in milliseconds.
!define CLOSE_WAIT 15000

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} set-up"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Quenlit now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram

Var AutoStart        ; 1: start at sign-in
Var AutoStartBox
Var ClosedRunning    ; 1: a running Quenlit was closed, and is started again at the end
Var RemoveData       ; uninstall: 1 removes the list and the settings too
Var RemoveDataBox

!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.DataPage un.DataPageLeave
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Asks a running Quenlit to close the normal way (it saves its list and settings) and waits for
; it to end. Never kills it. $0: 1 when none runs any more, 0 when it is still running.
!macro CLOSE_RUNNING un
Function ${un}CloseRunning
  Push $1
  Push $2
  StrCpy $0 1
  FindWindow $1 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
  ${If} $1 != 0
    System::Call "user32::GetWindowThreadProcessId(p r1, *i .r2)"
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r2" ; SYNCHRONIZE
    System::Call "user32::PostMessageW(p r1, i ${WM_CLOSE}, p 0, p 0)"
    ${If} $2 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT}) i .r1"
      System::Call "kernel32::CloseHandle(p r2)"
      ${If} $1 != 0 ; not WAIT_OBJECT_0
        StrCpy $0 0
      ${EndIf}
    ${Else}
      StrCpy $0 0
    ${EndIf}
  ${EndIf}
  Pop $2
  Pop $1
FunctionEnd

; Closes a running Quenlit or, when it does not end, gives up without changing anything:
; silently with exit code 2, in the wizard after Retry and Cancel.
Function ${un}CloseRunningOrQuit
  ${Do}
    Call ${un}CloseRunning
    ${If} $0 == 1
      ${Break}
    ${EndIf}
    ${If} ${Silent}
      SetErrorLevel 2
      Quit
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quenlit is running and did not close. It may be waiting for an answer in one of its windows.$\r$\n$\r$\nClose Quenlit, then choose Retry. Nothing has been changed." IDRETRY retry
    SetErrorLevel 2
    Quit
    retry:
  ${Loop}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Function .onInit
  SetShellVarContext current
  ; A new install starts at sign-in; an upgrade keeps the choice made before.
  StrCpy $AutoStart 1
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
    ClearErrors
    ReadRegStr $1 HKCU "${RUN_KEY}" "${PRODUCT}"
    ${If} ${Errors}
      StrCpy $AutoStart 0
    ${EndIf}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTOSTART=" $1
  ${IfNot} ${Errors}
    ${If} $1 == 0
      StrCpy $AutoStart 0
    ${Else}
      StrCpy $AutoStart 1
    ${EndIf}
  ${EndIf}
  StrCpy $ClosedRunning 0
FunctionEnd

Function OptionsPage
  !insertmacro MUI_HEADER_TEXT "Options" "Choose when Quenlit runs."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Quenlit collects the links you copy only while it runs."
  Pop $0
  ${NSD_CreateCheckbox} 0 24u 100% 12u "Start Quenlit when I sign in to Windows"
  Pop $AutoStartBox
  ${If} $AutoStart == 1
    ${NSD_Check} $AutoStartBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
  ${NSD_GetState} $AutoStartBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AutoStart 1
  ${Else}
    StrCpy $AutoStart 0
  ${EndIf}
FunctionEnd

Function StartProgram
  ; After an upgrade it was started already; a second start would only bring it forward.
  ${If} $ClosedRunning == 0
    Exec '"$INSTDIR\Quenlit.exe"'
  ${EndIf}
FunctionEnd

Section "Quenlit"
  ; Nothing is written before a running Quenlit has closed.
  FindWindow $0 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
  ${If} $0 != 0
    StrCpy $ClosedRunning 1
  ${EndIf}
  Call CloseRunningOrQuit

  SetOutPath "$INSTDIR"
  File "/oname=Quenlit.exe" "${EXE}"
  File "/oname=Help.txt" "${HELP}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Quenlit.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quenlit.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ${If} $AutoStart == 1
    WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\Quenlit.exe"'
  ${Else}
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}

  ; What was running before the upgrade runs again.
  ${If} $ClosedRunning == 1
    Exec '"$INSTDIR\Quenlit.exe"'
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext current
  StrCpy $RemoveData 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA=" $1
  ${IfNot} ${Errors}
  ${AndIf} $1 == 1
    StrCpy $RemoveData 1
  ${EndIf}
FunctionEnd

Function un.DataPage
  !insertmacro MUI_HEADER_TEXT "Your links" "Quenlit keeps your link list and settings unless you ask otherwise."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "Also remove my link list and settings"
  Pop $RemoveDataBox
  nsDialogs::Show
FunctionEnd

Function un.DataPageLeave
  ${NSD_GetState} $RemoveDataBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $RemoveData 1
  ${EndIf}
FunctionEnd

Section "Uninstall"
  Call un.CloseRunningOrQuit
  Delete "$INSTDIR\Quenlit.exe"
  Delete "$INSTDIR\Help.txt"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${APP_PATHS_KEY}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} $RemoveData == 1
    RMDir /r "$APPDATA\${PUBLISHER}\${PRODUCT}"
    RMDir "$APPDATA\${PUBLISHER}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
  ${EndIf}
SectionEnd
