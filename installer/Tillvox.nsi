; Setup program of Tillvox: install, upgrade over a running program, uninstall.
;
; Built by the normal build (installer/Installer.cmake) with:
;   VERSION   the program's version, as in its version resource
;   BIN_DIR   the folder holding Tillvox.exe, TillvoxAgent.exe and dvrsim.exe (and possim.exe); the
;             language file comes from lang/
;   OUT_FILE  the setup program to write
;   AMD64     (optional) build a 64-bit setup from a 64-bit program build; it still
;             installs into the 32-bit Program Files folder, as the product does
;   HAVE_POSSIM (optional) the build has possim.exe
;
; Command line (besides NSIS's own /S for silent and /D=folder):
;   setup:     /AUTORUN    start Tillvox with Windows (monitor mode)
;              /NOAUTORUN  do not; without either, a silent setup keeps what is there
;              /START      start Tillvox when done, as the last page's box does (a silent
;                          setup otherwise starts only a Tillvox it closed for the upgrade)
;   uninstall: /REMOVEDATA also remove the data folder with the settings; the
;              registered commands end in _?=<folder> so that callers wait for the
;              exit code
; Exit code: 0 done, 1 cancelled by the user, 2 failed (a program that would not
; close is left running and nothing is replaced or removed; an uninstall that cannot
; remove the startup agent service removes nothing), 3 installed but the startup
; agent service could not be set up, 740 no administrator rights.
;
; The startup agent (TillvoxAgent.exe, service "OrvaneStartupAgent") starts Tillvox
; with full rights at logon when user account control would otherwise ask. The
; setup installs and starts it; an upgrade stops it, replaces it and starts it again;
; the uninstaller stops and removes it.

!ifndef VERSION | BIN_DIR | OUT_FILE
  !error "VERSION, BIN_DIR and OUT_FILE must be defined"
!endif

!ifdef AMD64
  Target amd64-unicode
!else
  Unicode true
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "nsDialogs.nsh"
!include "WinMessages.nsh"

!define PRODUCT "Tillvox"
!define PUBLISHER "Orvane"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tillvox"
; The program's own auto-run entry: the same key, value and command text as its check box.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Kassimo"
!define RUN_COMMAND `"$INSTDIR\Tillvox.exe" -"Monitor"`
!define SETTINGS_FILE "FileMapPOS.ini"
; The program's event source in the Application log; Tillvox.exe carries its message table.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Tillvox"
; Control id of the main window's New button: it is disabled while capture runs.
!define IDC_NEW 1001
; How long a closing program may take to stop capture and end.
!define CLOSE_WAIT_MS 30000

Name "${PRODUCT}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES32\Orvane\Tillvox"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${__FILEDIR__}\..\res\Tillvox.ico"
!define MUI_UNICON "${__FILEDIR__}\..\res\Tillvox.ico"
!define MUI_ABORTWARNING

Var AutoRun          ; "1" start with Windows, "0" not, "" leave as it is
Var AutoRunBox
Var RemoveData       ; "1" uninstall removes the data folder
Var RemoveDataBox
Var DataFolder       ; C:\ProgramData\Orvane\Tillvox, without a trailing backslash
Var Closed           ; a running Tillvox was closed for the upgrade
Var WasCapturing     ; ... and it was capturing
Var ProgramFilesX86  ; the 32-bit Program Files folder, also as seen by a 64-bit setup
Var StartNow         ; "1": /START, start Tillvox when a silent setup is done
Var ServiceFailed    ; "1": the startup agent service could not be set up

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom AutoRunPage AutoRunPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "$(START_NOW_LABEL)"
!define MUI_FINISHPAGE_RUN_FUNCTION StartNow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.RemoveDataPage un.RemoveDataPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

; The languages of the program's language file that NSIS has; English first (the fall-back).
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "TradChinese"
!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "French"
!insertmacro MUI_LANGUAGE "German"
!insertmacro MUI_LANGUAGE "Spanish"
!insertmacro MUI_LANGUAGE "Italian"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!insertmacro MUI_LANGUAGE "Dutch"
!insertmacro MUI_LANGUAGE "Russian"
!insertmacro MUI_LANGUAGE "Polish"
!insertmacro MUI_LANGUAGE "Czech"
!insertmacro MUI_LANGUAGE "Arabic"
!insertmacro MUI_LANGUAGE "Hebrew"
!include /CHARSET=UTF8 "${__FILEDIR__}\Languages.nsh"

; ---------------------------------------------------------------------------
; Shared by setup and uninstaller

; Chooses the page language as the program chooses its texts: from the system's
; default language, or the language id that ORVANEBRAND.INI forces. A language
; whose texts the program does not carry shows English, as the program does.
!macro DEFINE_CHOOSE_LANGUAGE un
Function ${un}ChooseLanguage
  Push $0
  Push $1
  Push $2
  ReadINIStr $0 "$WINDIR\ORVANEBRAND.INI" "General" "Lang"
  ${If} $0 != ""
  ${AndIf} $0 != "NONE"
    StrCpy $LANGUAGE 1033
    ${Select} $0
      ${Case} "SC"
        StrCpy $LANGUAGE 2052
      ${Case} "TC"
        StrCpy $LANGUAGE 1028
      ${Case} "JPN"
        StrCpy $LANGUAGE 1041
      ${Case} "FRA"
        StrCpy $LANGUAGE 1036
      ${Case} "GEM"
        StrCpy $LANGUAGE 1031
      ${Case} "SPN"
        StrCpy $LANGUAGE 1034
      ${Case} "ITA"
        StrCpy $LANGUAGE 1040
      ${Case} "PTU"
        StrCpy $LANGUAGE 1046
      ${Case} "NLD"
        StrCpy $LANGUAGE 1043
      ${Case} "RUS"
        StrCpy $LANGUAGE 1049
      ${Case} "POL"
        StrCpy $LANGUAGE 1045
      ${Case} "CZH"
        StrCpy $LANGUAGE 1029
      ${Case} "ARB"
        StrCpy $LANGUAGE 1025
      ${Case} "HEB"
        StrCpy $LANGUAGE 1037
    ${EndSelect}
  ${Else}
    System::Call "kernel32::GetSystemDefaultLangID() i .r0"
    IntOp $1 $0 & 0x3FF   ; primary language
    IntOp $2 $0 >> 10     ; sub-language
    StrCpy $LANGUAGE 1033
    ${Select} $1
      ${Case} 0x04
        ${If} $2 = 2
        ${OrIf} $2 = 4
          StrCpy $LANGUAGE 2052
        ${ElseIf} $2 = 1
        ${OrIf} $2 = 3
          StrCpy $LANGUAGE 1028
        ${EndIf}
      ${Case} 0x0C
        StrCpy $LANGUAGE 1036
      ${Case} 0x07
        StrCpy $LANGUAGE 1031
      ${Case} 0x11
        StrCpy $LANGUAGE 1041
      ${Case} 0x15
        StrCpy $LANGUAGE 1045
      ${Case} 0x16
        StrCpy $LANGUAGE 1046
      ${Case} 0x19
        StrCpy $LANGUAGE 1049
      ${Case} 0x0A
        StrCpy $LANGUAGE 1034
      ${Case} 0x01
        StrCpy $LANGUAGE 1025
      ${Case} 0x0D
        StrCpy $LANGUAGE 1037
      ${Case} 0x10
        StrCpy $LANGUAGE 1040
      ${Case2} 0x05 0x1B
        StrCpy $LANGUAGE 1029
      ${Case} 0x13
        StrCpy $LANGUAGE 1043
    ${EndSelect}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CHOOSE_LANGUAGE ""
!insertmacro DEFINE_CHOOSE_LANGUAGE "un."

; $PROGRAMFILES32 is the 64-bit folder in a 64-bit setup; the shell knows the 32-bit one.
!macro DEFINE_FIND_PROGRAM_FILES un
Function ${un}FindProgramFilesX86
  Push $0
  Push $1
  System::Call "shell32::SHGetSpecialFolderPathW(p 0, w .r0, i 0x2a, i 0) i .r1"   ; CSIDL_PROGRAM_FILESX86
  ${If} $1 <> 0
    StrCpy $ProgramFilesX86 $0
  ${Else}
    StrCpy $ProgramFilesX86 "$PROGRAMFILES32"
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_FIND_PROGRAM_FILES ""
!insertmacro DEFINE_FIND_PROGRAM_FILES "un."

; Closes a Tillvox that runs from $INSTDIR as a user would: its main window gets a
; close request (the program stops capture as on any close) and the process is
; waited for. The window is found by what cannot be mistaken: an unowned dialog
; window whose process runs $INSTDIR\Tillvox.exe.
; Sets $Closed to 1 when one was closed and $WasCapturing to 1 when it was capturing;
; sets the error flag when one did not end within CLOSE_WAIT_MS (it is left running)
; or Tillvox.exe is still in use.
!macro DEFINE_CLOSE_PROGRAM un
Function ${un}CloseProgram
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $6 "ok"
  StrCpy $0 0
  ${Do}
    FindWindow $0 "#32770" "" "" $0
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    System::Call "user32::GetWindow(p r0, i 4) p .r1"   ; GW_OWNER
    ${If} $1 P<> 0
      ${Continue}
    ${EndIf}
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r1) i"
    ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
    System::Call "kernel32::OpenProcess(i 0x00101000, i 0, i r1) p .r2"
    ${If} $2 P= 0
      ${Continue}
    ${EndIf}
    System::Call "kernel32::QueryFullProcessImageNameW(p r2, i 0, w .r3, *i ${NSIS_MAX_STRLEN}) i .r4"
    ${If} $4 = 0
    ${OrIf} $3 != "$INSTDIR\Tillvox.exe"
      System::Call "kernel32::CloseHandle(p r2)"
      ${Continue}
    ${EndIf}
    GetDlgItem $4 $0 ${IDC_NEW}
    System::Call "user32::IsWindowEnabled(p r4) i .r5"
    ${If} $4 <> 0
    ${AndIf} $5 = 0
      StrCpy $WasCapturing 1
    ${EndIf}
    DetailPrint "$(MSG_CLOSING)"
    System::Call "user32::PostMessage(p r0, i ${WM_CLOSE}, p 0, p 0)"
    System::Call "kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i .r4"
    System::Call "kernel32::CloseHandle(p r2)"
    ${If} $4 <> 0
      StrCpy $6 "still running"
      ${Break}
    ${EndIf}
    StrCpy $Closed 1
    StrCpy $0 0   ; its window is gone: search again from the start
  ${Loop}
  ; A Tillvox whose window is not on this desktop (another user's session) still
  ; holds its file: fail before anything is replaced or removed.
  ${If} $6 == "ok"
  ${AndIf} ${FileExists} "$INSTDIR\Tillvox.exe"
    ClearErrors
    FileOpen $1 "$INSTDIR\Tillvox.exe" a
    ${If} ${Errors}
      StrCpy $6 "in use"
    ${Else}
      FileClose $1
    ${EndIf}
  ${EndIf}
  ClearErrors
  ${If} $6 != "ok"
    SetErrors
  ${EndIf}
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_CLOSE_PROGRAM ""
!insertmacro DEFINE_CLOSE_PROGRAM "un."

; Closes a running Tillvox; asks to retry when it does not end (a silent run fails).
!macro CLOSE_OR_FAIL un
  close_retry:
    Call ${un}CloseProgram
    IfErrors 0 close_done
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(MSG_STILL_RUNNING)" /SD IDCANCEL IDRETRY close_retry
    DetailPrint "$(MSG_STILL_RUNNING)"
    SetErrorLevel 2
    Abort
  close_done:
!macroend

; ---------------------------------------------------------------------------
; Setup

Function .onInit
  SetShellVarContext all
  Call FindProgramFilesX86
  ; The default folder (neither /D= nor an earlier installation chose one).
  ${If} $INSTDIR == "$PROGRAMFILES32\Orvane\Tillvox"
    StrCpy $INSTDIR "$ProgramFilesX86\Orvane\Tillvox"
  ${EndIf}
  StrCpy $DataFolder "$APPDATA\Orvane\Tillvox"
  Call ChooseLanguage
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "$(MSG_NEED_ADMIN)" /SD IDOK
    SetErrorLevel 740   ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  StrCpy $AutoRun ""
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AUTORUN" $1
  ${IfNot} ${Errors}
    StrCpy $AutoRun "1"
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOAUTORUN" $1
  ${IfNot} ${Errors}
    StrCpy $AutoRun "0"
  ${EndIf}
  StrCpy $StartNow ""
  ClearErrors
  ${GetOptions} $0 "/START" $1
  ${IfNot} ${Errors}
    StrCpy $StartNow "1"
  ${EndIf}
FunctionEnd

; Starts Tillvox as Windows would start it now: capturing, in the tray, when it is
; to start with Windows; otherwise with its window. A second start of a running
; Tillvox ends at once by itself.
Function StartNow
  ClearErrors
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} ${Errors}
    Exec `"$INSTDIR\Tillvox.exe"`
  ${Else}
    Exec `${RUN_COMMAND}`
  ${EndIf}
FunctionEnd

Function AutoRunPage
  !insertmacro MUI_HEADER_TEXT "$(PAGE_AUTORUN_TITLE)" "$(PAGE_AUTORUN_SUBTITLE)"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateCheckbox} 0 0 100% 24u "$(AUTORUN_LABEL)"
  Pop $AutoRunBox
  ; Shows the truth: ticked when Windows starts Tillvox now, unless the command line chose.
  StrCpy $1 $AutoRun
  ${If} $1 == ""
    ClearErrors
    ReadRegStr $2 HKLM "${RUN_KEY}" "${RUN_VALUE}"
    ${IfNot} ${Errors}
      StrCpy $1 "1"
    ${EndIf}
  ${EndIf}
  ${If} $1 == "1"
    ${NSD_Check} $AutoRunBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function AutoRunPageLeave
  ${NSD_GetState} $AutoRunBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AutoRun "1"
  ${Else}
    StrCpy $AutoRun "0"
  ${EndIf}
FunctionEnd

; Writes the auto-run choice as the program's own box does: the Run value and
; [AutoExecute] in the settings file. What already says the same is left untouched,
; so an upgrade keeps the settings file byte for byte.
Function ApplyAutoRun
  ${If} $AutoRun == ""
    Return
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKLM "${RUN_KEY}" "${RUN_VALUE}"
  ${If} ${Errors}
    StrCpy $1 0   ; no Run value
  ${Else}
    StrCpy $1 1
  ${EndIf}
  ReadINIStr $2 "$DataFolder\${SETTINGS_FILE}" "AutoExecute" "AutoExecute"
  ${If} $AutoRun == "1"
    ${If} $1 = 0
    ${OrIf} $0 != `${RUN_COMMAND}`
    ${OrIf} $2 != "1"
      CreateDirectory "$DataFolder"
      WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" `${RUN_COMMAND}`
      WriteINIStr "$DataFolder\${SETTINGS_FILE}" "AutoExecute" "AutoExecute" "1"
      FlushINI "$DataFolder\${SETTINGS_FILE}"
    ${EndIf}
  ${Else}
    ${If} $1 = 1
    ${OrIf} $2 == "1"
      ${If} ${FileExists} "$DataFolder\${SETTINGS_FILE}"
        WriteINIStr "$DataFolder\${SETTINGS_FILE}" "AutoExecute" "AutoExecute" "0"
        FlushINI "$DataFolder\${SETTINGS_FILE}"
      ${EndIf}
      DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}
  ${EndIf}
FunctionEnd

; Back as it was: a program that was capturing captures again at once.
Function RestartClosedProgram
  ${If} $Closed = 1
    ${If} $WasCapturing = 1
      Exec `${RUN_COMMAND}`
    ${Else}
      Exec `"$INSTDIR\Tillvox.exe"`
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Tillvox" SecProgram
  SectionIn RO
  StrCpy $Closed 0
  StrCpy $WasCapturing 0
  StrCpy $ServiceFailed 0
  !insertmacro CLOSE_OR_FAIL ""

  ; The agent of an earlier installation stops, so that its file can be replaced;
  ; one that does not stop leaves everything as it was.
  ${If} ${FileExists} "$INSTDIR\TillvoxAgent.exe"
    nsExec::ExecToLog `"$INSTDIR\TillvoxAgent.exe" /Stop`
    Pop $0
    DetailPrint "TillvoxAgent.exe /Stop: $0"
    ${If} $0 != 0
      DetailPrint "$(MSG_FILES_FAILED)"
      MessageBox MB_OK|MB_ICONSTOP "$(MSG_FILES_FAILED)" /SD IDOK
      Call RestartClosedProgram
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}

  SetOutPath "$INSTDIR"
  ClearErrors
  File "${BIN_DIR}\Tillvox.exe"
  File "${BIN_DIR}\TillvoxAgent.exe"
  File "${__FILEDIR__}\..\lang\Tillvox.xml"
  File "${BIN_DIR}\dvrsim.exe"
!ifdef HAVE_POSSIM
  File "${BIN_DIR}\possim.exe"
!endif
  File "/oname=ReadMe.txt" "${__FILEDIR__}\ReadMe.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    DetailPrint "$(MSG_FILES_FAILED)"
    MessageBox MB_OK|MB_ICONSTOP "$(MSG_FILES_FAILED)" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}

  CreateShortcut "$SMPROGRAMS\Tillvox.lnk" "$INSTDIR\Tillvox.exe" "" "$INSTDIR\Tillvox.exe" 0

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Tillvox.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  ; _?= runs the uninstaller in place, so whoever starts it waits for it and gets its
  ; exit code (without it, the uninstaller hands over to a copy of itself and ends at once).
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" `"$INSTDIR\uninstall.exe" _?=$INSTDIR`
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" `"$INSTDIR\uninstall.exe" /S _?=$INSTDIR`
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"

  ; Event Viewer shows the program's entries with their text only while this names the installed program.
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\Tillvox.exe"
  ; Errors, warnings and information.
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

  Call ApplyAutoRun

  ; Created, or brought up to date, and started; the texts in the setup's language.
  nsExec::ExecToLog `"$INSTDIR\TillvoxAgent.exe" /Install "$(SERVICE_DISPLAY_NAME)" "$(SERVICE_DESCRIPTION)"`
  Pop $0
  DetailPrint "TillvoxAgent.exe /Install: $0"
  ${If} $0 != 0
    StrCpy $ServiceFailed 1
    DetailPrint "$(MSG_SERVICE_FAILED)"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$(MSG_SERVICE_FAILED)" /SD IDOK
  ${EndIf}

  ${If} $Closed = 1
    Call RestartClosedProgram
  ${ElseIf} ${Silent}
  ${AndIf} $StartNow == "1"
    Call StartNow
  ${EndIf}
  ${If} $ServiceFailed = 1
    SetErrorLevel 3
  ${EndIf}
SectionEnd

; ---------------------------------------------------------------------------
; Uninstaller

Function un.onInit
  SetShellVarContext all
  Call un.FindProgramFilesX86
  StrCpy $DataFolder "$APPDATA\Orvane\Tillvox"
  Call un.ChooseLanguage
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "$(MSG_NEED_ADMIN)" /SD IDOK
    SetErrorLevel 740   ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
  StrCpy $RemoveData "0"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    StrCpy $RemoveData "1"
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/CLEANUP=" $1
  ${IfNot} ${Errors}
    ; The copy started at the end of an uninstall that ran in place: wait (bounded)
    ; for that process to end, then remove what it could not.
    System::Call "kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2"   ; SYNCHRONIZE
    ${If} $2 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r2, i ${CLOSE_WAIT_MS}) i"
      System::Call "kernel32::CloseHandle(p r2)"
    ${EndIf}
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir "$ProgramFilesX86\Orvane"
    Delete /REBOOTOK "$EXEPATH"
    SetErrorLevel 0
    Quit
  ${EndIf}
FunctionEnd

Function un.RemoveDataPage
  !insertmacro MUI_HEADER_TEXT "$(PAGE_DATA_TITLE)" "$(PAGE_DATA_SUBTITLE)"
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateCheckbox} 0 0 100% 24u "$(REMOVE_DATA_LABEL)"
  Pop $RemoveDataBox
  ${NSD_CreateLabel} 12u 26u 95% 12u "$DataFolder"
  Pop $0
  ${If} $RemoveData == "1"
    ${NSD_Check} $RemoveDataBox
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function un.RemoveDataPageLeave
  ${NSD_GetState} $RemoveDataBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $RemoveData "1"
  ${Else}
    StrCpy $RemoveData "0"
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro CLOSE_OR_FAIL "un."

  ; No service may be left behind pointing at a removed program.
  ${If} ${FileExists} "$INSTDIR\TillvoxAgent.exe"
    nsExec::ExecToLog `"$INSTDIR\TillvoxAgent.exe" /Uninstall`
    Pop $0
    DetailPrint "TillvoxAgent.exe /Uninstall: $0"
    ${If} $0 != 0
      DetailPrint "$(MSG_SERVICE_REMOVE_FAILED)"
      MessageBox MB_OK|MB_ICONSTOP "$(MSG_SERVICE_REMOVE_FAILED)" /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}

  Delete "$INSTDIR\Tillvox.exe"
  Delete "$INSTDIR\TillvoxAgent.exe"
  Delete "$INSTDIR\TillvoxAgent.log"
  Delete "$INSTDIR\TillvoxAgent.log.old"
  Delete "$INSTDIR\Tillvox.xml"
  Delete "$INSTDIR\dvrsim.exe"
  Delete "$INSTDIR\possim.exe"
  Delete "$INSTDIR\ReadMe.txt"
  ${If} $EXEDIR == $INSTDIR
    ; Running in place (_?=): a running program cannot delete itself, so a copy of
    ; it removes uninstall.exe and the folder once this process has ended.
    System::Call "kernel32::GetCurrentProcessId() i .r1"
    StrCpy $0 "$TEMP\TillvoxUninstall-$1.exe"
    CopyFiles /SILENT "$EXEPATH" "$0"
    Exec `"$0" /S /CLEANUP=$1 _?=$INSTDIR`
  ${Else}
    Delete "$INSTDIR\uninstall.exe"
  ${EndIf}
  ; Only when empty: files a user put there (an adapter library) stay.
  RMDir "$INSTDIR"
  RMDir "$ProgramFilesX86\Orvane"
  Delete "$SMPROGRAMS\Tillvox.lnk"

  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"

  ${If} $RemoveData == "1"
    RMDir /r "$DataFolder"
    RMDir "$APPDATA\Orvane"
  ${Else}
    ; The kept settings must not claim an auto-run that no longer exists.
    ReadINIStr $0 "$DataFolder\${SETTINGS_FILE}" "AutoExecute" "AutoExecute"
    ${If} $0 == "1"
      WriteINIStr "$DataFolder\${SETTINGS_FILE}" "AutoExecute" "AutoExecute" "0"
      FlushINI "$DataFolder\${SETTINGS_FILE}"
    ${EndIf}
  ${EndIf}
SectionEnd
