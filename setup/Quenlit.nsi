; The set-up for Windows users: per user, no elevation. Installs Quenlit.exe and Help.txt, a Start
; menu shortcut and the Apps & Features entry, and optionally starts Quenlit at sign-in, minimized.
; One installation at a time: installing into another folder removes the one before. Every file is
; written under a temporary name first and put in place by renames once all are written: a failure
; on the way leaves the installation before as it was.
; Built by setup/build.sh, which passes ARCH (x64 or x86), VERSION, EXE, HELP, ICON and OUTFILE: one
; script for both set-ups, which share one installation (folder, shortcuts, Apps & Features entry).
; Switches: /S (silent), /AUTOSTART=0|1, /D=<folder>; Uninstall.exe /S [/REMOVEDATA=1].
; Exit codes: 0 done; 2 Quenlit could not be closed, and nothing was changed; 3 a file could not be
; written or replaced, and the installation before is left as it was (removal: a file could not be
; removed, and Quenlit stays registered).
Unicode true
!if "${ARCH}" == "x86"
  Target x86-unicode
  !define BUILD "32-bit"
!else
  Target amd64-unicode
  !define BUILD "64-bit"
!endif
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
; Where version 1.0.0 started Quenlit at sign-in; a Run value cannot start it minimized.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define STARTUP_LINK "$SMSTARTUP\${PRODUCT}.lnk"
!define APP_PATHS_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\Quenlit.exe"
!define SETTINGS_KEY "Software\${PUBLISHER}\${PRODUCT}"
; The program's main window: its class and caption.
!define WINDOW_CLASS "QuenlitForm"
!define WINDOW_TITLE "Quenlit"
; In milliseconds: how long the answer to the close request is waited for; how long a running
; Quenlit may take to save its list and end; how long a box it shows on the way out (an earlier
; version's save prompt) is waited for.
!define ANSWER_WAIT 5000
!define CLOSE_WAIT 15000
!define BOX_WAIT 120000
; Asks Quenlit to close now: it answers 1 (closing) or 2 (a prompt or dialog is open; nothing is
; remembered). wParam: the tick count by which the answer must come, a second before the set-up
; stops waiting; a close not prepared by then is refused. Version 1.0.0 does not know it and answers 0.
!define CLOSE_NOW_MESSAGE "{3F0C9A6E-52D1-4B7E-9C2A-7E15D4B8A0F3} close now"
!define ERROR_ACCESS_DENIED 5
; The staged files of the new installation, and the old ones put aside while they are switched.
!define NEW ".new"
!define OLD ".old"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION} (${BUILD})"
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
Var RanMinimized     ; not 0: it ran minimized, and starts again so
Var Earlier          ; the folder of the installation before, if any
Var MadeFolder       ; 1: the set-up made the folder, and removes it again if it fails
Var Failed           ; the file that could not be written or replaced
Var CleanUp          ; uninstall: the batch that removes Uninstall.exe once it has ended
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
; it to end. Never kills it. $0: 1 when none runs any more, 0 when it did not close (a prompt or
; dialog of its is open, or it did not end in time), 5 when it runs as administrator and this
; set-up may not ask it.
!macro CLOSE_RUNNING un
; The identity of a file or folder, whatever spelling its path has (a link, a short name, a subst
; drive): its volume's serial number and its file index; "" when it cannot be opened.
; The path on the stack, its identity back on the stack.
Function ${un}Identity
  Exch $0
  Push $1
  Push $2
  Push $3
  Push $4
  ; No access asked for, all sharing, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS (folders open too).
  System::Call "kernel32::CreateFileW(w r0, i 0, i 7, p 0, i 3, i 0x02000000, p 0) p .r1"
  StrCpy $0 ""
  ${If} $1 P<> -1
    System::Alloc 52 ; BY_HANDLE_FILE_INFORMATION
    Pop $2
    System::Call "kernel32::GetFileInformationByHandle(p r1, p r2) i .r3"
    ${If} $3 != 0
      System::Call "*$2(i, i, i, i, i, i, i, i .r0, i, i, i, i .r3, i .r4)"
      StrCpy $0 "$0:$3:$4"
    ${EndIf}
    System::Free $2
    System::Call "kernel32::CloseHandle(p r1)"
  ${EndIf}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function ${un}CloseRunning
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  StrCpy $0 1
  FindWindow $1 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
  ${If} $1 != 0
    System::Call "user32::GetWindowThreadProcessId(p r1, *i .r2)"
!if "${un}" == "un."
    ; Only a Quenlit of this folder, by whatever spelling it was started: a copy of the uninstaller
    ; elsewhere leaves the installed one alone. One whose file cannot be told is asked.
    System::Call "kernel32::OpenProcess(i 0x1000, i 0, i r2) p .r3" ; PROCESS_QUERY_LIMITED_INFORMATION
    StrCpy $4 ""
    System::Call "kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r4, *i ${NSIS_MAX_STRLEN})"
    System::Call "kernel32::CloseHandle(p r3)"
    Push $4
    Call un.Identity
    Push "$INSTDIR\Quenlit.exe"
    Call un.Identity
    Pop $5
    Pop $4
    ${If} $4 != ""
    ${AndIf} $4 != $5
      StrCpy $1 0
    ${EndIf}
  ${EndIf}
  ${If} $1 != 0
!endif
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r2) p .r2" ; SYNCHRONIZE
    System::Call "user32::RegisterWindowMessageW(w '${CLOSE_NOW_MESSAGE}') i .r3"
    System::Call "kernel32::GetTickCount() i .r4"
    IntOp $4 $4 + ${ANSWER_WAIT}
    IntOp $4 $4 - 1000
    System::Call "user32::SendMessageTimeoutW(p r1, i r3, p r4, p 0, i 2, i ${ANSWER_WAIT}, *p 0 r4) p .r3 ?e" ; SMTO_ABORTIFHUNG
    Pop $5
    ${If} $3 P= 0
      ${If} $5 == ${ERROR_ACCESS_DENIED}
        StrCpy $0 5
      ${Else}
        StrCpy $0 0
      ${EndIf}
    ${ElseIf} $4 == 2
      StrCpy $0 0
    ${ElseIf} $2 P= 0
      StrCpy $0 0
    ${Else}
      ${If} $4 == 0
        ; An earlier version, which does not know the request: the plain close, but never into an
        ; open box of its (the window is disabled then): it would be carried out after we gave up.
        System::Call "user32::IsWindowEnabled(p r1) i .r4"
        ${If} $4 == 0
          StrCpy $0 0
        ${Else}
          System::Call "user32::PostMessageW(p r1, i ${WM_CLOSE}, p 0, p 0)"
        ${EndIf}
      ${EndIf}
      ${If} $0 == 1
        ; While a box it shows on the way out is open, the close is pending: wait for its answer, but
        ; not for ever (nobody may be there to answer an earlier version's save prompt).
        System::Call "kernel32::GetTickCount() i .r5"
        ${Do}
          System::Call "kernel32::WaitForSingleObject(p r2, i 500) i .r4"
          ${If} $4 == 0
            ${Break}
          ${EndIf}
          System::Call "kernel32::GetTickCount() i .r4"
          IntOp $4 $4 - $5
          ${If} $4 >= ${CLOSE_WAIT}
            System::Call "user32::IsWindow(p r1) i .r3"
            ${If} $3 != 0
              System::Call "user32::IsWindowEnabled(p r1) i .r3"
              IntOp $3 $3 ! ; 1: disabled, a box of its is open
            ${EndIf}
            ${If} $3 == 0
            ${OrIf} $4 >= ${BOX_WAIT}
              StrCpy $0 0
              ${Break}
            ${EndIf}
          ${EndIf}
        ${Loop}
      ${EndIf}
    ${EndIf}
    ${If} $2 P<> 0
      System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
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
    ${If} $0 == 5
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quenlit is running as administrator, so this set-up may not close it.$\r$\n$\r$\nClose Quenlit, then choose Retry. Nothing has been changed." IDRETRY retry
    ${Else}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quenlit is running and did not close. It may be waiting for an answer in one of its windows.$\r$\n$\r$\nClose Quenlit, then choose Retry. Nothing has been changed." IDRETRY retry
    ${EndIf}
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
    ${AndIfNot} ${FileExists} "${STARTUP_LINK}"
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
  ${NSD_CreateCheckbox} 0 24u 100% 12u "Start Quenlit when I sign in to Windows, minimized on the taskbar"
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

; What was running before the set-up runs again, the way it ran. $0: its folder.
Function RestartProgram
  ${If} $RanMinimized != 0
    ExecShell "" "$0\Quenlit.exe" "" SW_SHOWMINIMIZED
  ${Else}
    Exec '"$0\Quenlit.exe"'
  ${EndIf}
FunctionEnd

; A file could not be written or put in place: what was staged goes again, the installation before
; stays as it was, registered, and runs again if it ran. $Failed names the file.
Function WriteFailed
  Delete "$INSTDIR\Quenlit.exe${NEW}"
  Delete "$INSTDIR\Help.txt${NEW}"
  Delete "$INSTDIR\Uninstall.exe${NEW}"
  ${If} $MadeFolder == 1
    SetOutPath "$TEMP" ; a folder cannot be removed while the set-up works in it
    RMDir "$INSTDIR"
  ${EndIf}
  ${If} $ClosedRunning == 1
  ${AndIf} $Earlier != ""
    StrCpy $0 $Earlier
    Call RestartProgram
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "$Failed could not be written or replaced. Another program may have it open, or the disk may be full.$\r$\n$\r$\nClose that program or free some space, or choose another folder, and run the set-up again. Nothing has been changed." /SD IDOK
  SetErrorLevel 3
  Quit
FunctionEnd

; A write that fails part-way (a full disk) aborts the set-up: nothing is in place yet.
Function .onInstFailed
  Call WriteFailed
FunctionEnd

; One step of the switch: renames a file of the folder, if there is one. $0 counts the steps, $1
; keeps the one that failed.
!macro SWITCH_STEP name from to
  IntOp $0 $0 + 1
  ${If} $Failed == ""
    ClearErrors
    ${If} ${FileExists} "$INSTDIR\${name}${from}\*.*"
      SetErrors ; a folder of its name stands in the way
    ${ElseIf} ${FileExists} "$INSTDIR\${name}${from}"
      Rename "$INSTDIR\${name}${from}" "$INSTDIR\${name}${to}"
    ${EndIf}
    ${If} ${Errors}
      StrCpy $Failed "$INSTDIR\${name}"
      StrCpy $1 $0
    ${EndIf}
  ${EndIf}
!macroend
!macro UNDO_STEP name from to
  ${If} $0 < $1
  ${AndIf} ${FileExists} "$INSTDIR\${name}${to}"
    Rename "$INSTDIR\${name}${to}" "$INSTDIR\${name}${from}"
  ${EndIf}
  IntOp $0 $0 - 1
!macroend

; Puts the staged files in place by renames: the old ones aside, the new ones under their names,
; then the old ones go. A rename that fails (a file held open) undoes those before it, and
; $Failed names the file.
Function Switch
  Delete "$INSTDIR\Quenlit.exe${OLD}"
  Delete "$INSTDIR\Help.txt${OLD}"
  Delete "$INSTDIR\Uninstall.exe${OLD}"
  StrCpy $0 0
  !insertmacro SWITCH_STEP Quenlit.exe "" ${OLD}
  !insertmacro SWITCH_STEP Help.txt "" ${OLD}
  !insertmacro SWITCH_STEP Uninstall.exe "" ${OLD}
  !insertmacro SWITCH_STEP Quenlit.exe ${NEW} ""
  !insertmacro SWITCH_STEP Help.txt ${NEW} ""
  !insertmacro SWITCH_STEP Uninstall.exe ${NEW} ""
  ${If} $Failed != ""
    !insertmacro UNDO_STEP Uninstall.exe ${NEW} ""
    !insertmacro UNDO_STEP Help.txt ${NEW} ""
    !insertmacro UNDO_STEP Quenlit.exe ${NEW} ""
    !insertmacro UNDO_STEP Uninstall.exe "" ${OLD}
    !insertmacro UNDO_STEP Help.txt "" ${OLD}
    !insertmacro UNDO_STEP Quenlit.exe "" ${OLD}
  ${Else}
    Delete "$INSTDIR\Quenlit.exe${OLD}"
    Delete "$INSTDIR\Help.txt${OLD}"
    Delete "$INSTDIR\Uninstall.exe${OLD}"
  ${EndIf}
FunctionEnd

Section "Quenlit"
  ; Nothing is written before a running Quenlit has closed.
  FindWindow $0 "${WINDOW_CLASS}" "${WINDOW_TITLE}"
  StrCpy $RanMinimized 0
  ${If} $0 != 0
    StrCpy $ClosedRunning 1
    System::Call "user32::IsIconic(p r0) i .s"
    Pop $RanMinimized
  ${EndIf}
  Call CloseRunningOrQuit

  ; The installed folder by another spelling is the same folder: an upgrade in place, under the
  ; name it was installed by.
  ReadRegStr $Earlier HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $Earlier != ""
    Push $Earlier
    Call Identity
    Push $INSTDIR
    Call Identity
    Pop $1
    Pop $0
    ${If} $0 != ""
    ${AndIf} $0 == $1
      StrCpy $INSTDIR $Earlier
    ${EndIf}
  ${EndIf}

  ; Staged first: every file under a temporary name beside its place, each write checked. The
  ; installation before changes only once all of this one is written.
  StrCpy $MadeFolder 0
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    StrCpy $MadeFolder 1
  ${EndIf}
  SetOverwrite try
  ClearErrors
  SetOutPath "$INSTDIR"
  StrCpy $Failed "$INSTDIR\Quenlit.exe"
  File "/oname=Quenlit.exe${NEW}" "${EXE}"
  ${IfNot} ${Errors}
    StrCpy $Failed "$INSTDIR\Help.txt"
    File "/oname=Help.txt${NEW}" "${HELP}"
  ${EndIf}
  ${IfNot} ${Errors}
    StrCpy $Failed "$INSTDIR\Uninstall.exe"
    WriteUninstaller "$INSTDIR\Uninstall.exe${NEW}"
  ${EndIf}
  ${If} ${Errors}
    Call WriteFailed
  ${EndIf}
  SetOverwrite on
  StrCpy $Failed ""
  Call Switch
  ${If} $Failed != ""
    Call WriteFailed
  ${EndIf}
  ; One installation: one in another folder goes, never the list or the settings. The shortcuts,
  ; the start at sign-in and the registration are written anew below.
  ${If} $Earlier != ""
  ${AndIf} $Earlier != $INSTDIR
    Delete "$Earlier\Quenlit.exe"
    Delete "$Earlier\Help.txt"
    Delete "$Earlier\Uninstall.exe"
    RMDir "$Earlier"
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Quenlit.exe"

  ; The one entry of either set-up, named after the build it holds.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${BUILD})"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quenlit.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  ; Run in place (_?=): the process a package manager waits for is the one that does the work, so
  ; its exit code tells the result.
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe" _?=$INSTDIR'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  WriteRegStr HKCU "${APP_PATHS_KEY}" "" "$INSTDIR\Quenlit.exe"
  ; At sign-in minimized, without taking the focus: a Startup shortcut carries the show command.
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${If} $AutoStart == 1
    CreateShortcut "${STARTUP_LINK}" "$INSTDIR\Quenlit.exe" "" "" "" SW_SHOWMINIMIZED
  ${Else}
    Delete "${STARTUP_LINK}"
  ${EndIf}

  ${If} $ClosedRunning == 1
    StrCpy $0 $INSTDIR
    Call RestartProgram
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext current
  StrCpy $RemoveData 0
  StrCpy $CleanUp ""
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
  ; A file that cannot go (another program has it open) stops the removal there: Quenlit stays
  ; registered, with its uninstaller, so that it can be removed once the file is free.
  StrCpy $0 "$INSTDIR\Quenlit.exe"
  Delete $0
  ${IfNot} ${FileExists} $0
    StrCpy $0 "$INSTDIR\Help.txt"
    Delete $0
  ${EndIf}
  ${If} ${FileExists} $0
    MessageBox MB_OK|MB_ICONSTOP "$0 could not be removed. Another program may have it open.$\r$\n$\r$\nClose that program, then remove Quenlit again: it stays in Apps & Features until then." /SD IDOK
    SetErrorLevel 3
    Quit
  ${EndIf}
  ; Running in place, the uninstaller cannot remove itself: a hidden batch does once it has ended,
  ; and then removes itself. It is started when the uninstaller ends (silent: after this section;
  ; in the wizard: once its last page is closed), and tries once a second for a minute at most.
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    GetTempFileName $1
    Delete $1
    StrCpy $CleanUp "$1.bat"
    FileOpen $2 $CleanUp w
    FileWrite $2 '@echo off$\r$\nset n=0$\r$\n:again$\r$\ndel /f /q "$INSTDIR\Uninstall.exe" >nul 2>&1$\r$\n'
    FileWrite $2 'if not exist "$INSTDIR\Uninstall.exe" goto done$\r$\nset /a n+=1$\r$\nif %n% geq 60 goto done$\r$\n'
    FileWrite $2 'ping -n 2 127.0.0.1 >nul$\r$\ngoto again$\r$\n:done$\r$\nrmdir "$INSTDIR" >nul 2>&1$\r$\ndel "%~f0"$\r$\n'
    FileClose $2
  ${EndIf}
  RMDir "$INSTDIR"
  ; Only the registration that names this folder: another installation's stays.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "${STARTUP_LINK}"
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
    DeleteRegKey HKCU "${APP_PATHS_KEY}"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
  ${If} $RemoveData == 1
    RMDir /r "$APPDATA\${PUBLISHER}\${PRODUCT}"
    RMDir "$APPDATA\${PUBLISHER}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKCU "Software\${PUBLISHER}"
  ${EndIf}
  ${If} ${Silent}
    Call un.StartCleanUp
  ${EndIf}
SectionEnd

Function un.StartCleanUp
  ${If} $CleanUp != ""
    ReadEnvStr $0 COMSPEC
    SetOutPath "$TEMP" ; a folder cannot be removed by a program working in it
    ExecShell "" '"$0"' '/d /c "$CleanUp"' SW_HIDE
    StrCpy $CleanUp ""
  ${EndIf}
FunctionEnd

Function un.onGUIEnd
  Call un.StartCleanUp
FunctionEnd
