; The Windows installer of Ostrana Connector: ostrana.exe, ostrana-client.exe
; and the table template side by side in one folder (Program Files unless
; /D= or the folder page says otherwise), the guide, a Start-menu folder of
; shortcuts, and an uninstaller registered in Add/Remove Programs.
; It carries the 32-bit and the 64-bit build and installs the one that can
; create the DNC component. An out-of-process server (LocalServer32, in
; either registry view) serves programs of both bitnesses: then the build
; that matches Windows. Otherwise the view the in-process server (a DLL) is
; registered in decides, as a 64-bit program cannot load a 32-bit DLL nor
; the reverse. Without any registration it installs the build that matches
; Windows and says that the component must be installed. /BITS=32 or
; /BITS=64 overrides the choice; any other /BITS= is refused (status 6).
; Installing the other build, or into another folder, removes the earlier
; installation; the user's settings stay, as they do when uninstalling.
; /S installs and uninstalls silently.
; A running Ostrana Connector (the mutex every run holds, a headless one too)
; or any program of the installation in use (ostrana-client.exe too) is
; asked to be closed before anything is replaced or removed; a silent
; (un)install refuses with exit status 5 while one runs.
; Built by scripts/windows with makensis:
;   makensis -DBIN32=<32-bit programs> -DBIN64=<64-bit programs> -DGUIDE=<guide.html> -DOUT=<setup.exe> ostrana.nsi
; The installer itself is a 32-bit program, so it runs on 32-bit Windows too.
;
; Exit status: 0 done; 1 cancelled in the wizard; 2 stopped by an error (as
; every NSIS installer); 5 refused, a program of it runs; 6 refused, /BITS=
; is neither 32 nor 64.
Unicode true
!include "MUI2.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "Ostrana Connector"
OutFile "${OUT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OstranaConnector"
!define CLASS_KEY "CLSID\{8FA3D2F7-51B3-4E5F-BCC6-D2F7D7FCA7C1}"
!define MENU "$SMPROGRAMS\Ostrana Connector"  ; the Start menu's folder of the shortcuts

!define RUNNING_MUTEX "OstranaConnectorRunning"
!define EXIT_RUNNING 5
!define EXIT_BITS 6
!define EXIT_FOLDER 7

Var Bits     ; 32 or 64: the build to install
Var Finish   ; what the last page says
Var Earlier  ; the folder of the installation there was before, or ""

!define MUI_PAGE_CUSTOMFUNCTION_LEAVE DirectoryLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$Finish"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The programs the installation holds; each is checked before anything is
; replaced or removed. Op is a macro taking the program's path.
!macro ForEachProgram Op Dir
  !insertmacro ${Op} "${Dir}\ostrana.exe"
  !insertmacro ${Op} "${Dir}\ostrana-client.exe"
!macroend

; Every file the installation puts in its folder.
!macro ForEachFile Op Dir
  !insertmacro ForEachProgram ${Op} "${Dir}"
  !insertmacro ${Op} "${Dir}\Quorvane_Relavio.TAB"
  !insertmacro ${Op} "${Dir}\guide.html"
  !insertmacro ${Op} "${Dir}\uninstall.exe"
!macroend

!macro DeleteFile Path
  Delete "${Path}"
!macroend

; Removes a folder once it is empty; what still looks into it a moment longer
; (the menu builder a shortcut starts, a virus scanner) is waited for a few
; seconds. A folder that holds other files than ours stays.
!macro RemoveFolder Dir
  ${For} $R9 1 20
    RMDir "${Dir}"
    ${DirState} "${Dir}" $R8
    ${If} $R8 != 0  ; gone (-1), or not empty (1)
      ${Break}
    ${EndIf}
    Sleep 250
  ${Next}
!macroend

; Sets $R7 to the program's path when it runs (a running program's file
; cannot be opened for writing), unless $R7 names one already.
!macro ProgramInUse Path
  ${If} $R7 == ""
    System::Call 'kernel32::CreateFileW(w "${Path}", i 0x40000000, i 0, p 0, i 3, i 0, p 0) p .R6 ?e'
    Pop $R5
    ${If} $R6 P<> -1
      System::Call 'kernel32::CloseHandle(p R6)'
    ${ElseIf} $R5 = 32      ; ERROR_SHARING_VIOLATION
    ${OrIf} $R5 = 33        ; ERROR_LOCK_VIOLATION
      StrCpy $R7 "${Path}"
    ${EndIf}
  ${EndIf}
!macroend

; Ends the (un)installer with a status, after a box unless silent.
!macro Refuse Status Text
  MessageBox MB_OK|MB_ICONSTOP "${Text}" /SD IDOK
  SetErrorLevel ${Status}
  Quit
!macroend

; Waits until no Ostrana Connector runs and no program of the installation
; in the folders $R0 and $R1 (either may be "") is in use: asks to close it,
; or ends the (un)installer.
!macro WaitForClosedPrograms
  ${Do}
    StrCpy $R7 ""
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .R8'
    ${If} $R8 P<> 0
      System::Call 'kernel32::CloseHandle(p R8)'
      StrCpy $R7 "Ostrana Connector (a window, or a headless run)"
    ${EndIf}
    ${If} $R0 != ""
      !insertmacro ForEachProgram ProgramInUse "$R0"
    ${EndIf}
    ${If} $R1 != ""
      !insertmacro ForEachProgram ProgramInUse "$R1"
    ${EndIf}
    ${If} $R7 == ""
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$R7 is running. Close it, then choose Retry." /SD IDCANCEL IDRETRY +3
    SetErrorLevel ${EXIT_RUNNING}
    Quit
  ${Loop}
!macroend

; The copy the in-place uninstaller leaves behind: waits for that one (the
; process $R1) to end, then removes its file and the folder, unless an
; install has come back into the folder meanwhile.
Function un.RemoveAfter
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i $R1) p .R2'  ; SYNCHRONIZE
  ${If} $R2 P<> 0
    System::Call 'kernel32::WaitForSingleObject(p R2, i 30000)'
    System::Call 'kernel32::CloseHandle(p R2)'
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\ostrana.exe"
    Delete "$INSTDIR\uninstall.exe"
    !insertmacro RemoveFolder "$INSTDIR"
  ${EndIf}
  Delete /REBOOTOK "$EXEPATH"  ; itself, at the next start of Windows
FunctionEnd

; The events' source in the Application log, for the build installed: its
; ostrana.exe carries the texts and the category names (its message table).
; The EventLog key is one for both registry views; the 64-bit view is named
; on 64-bit Windows all the same, so that the key written is the one the
; event log service reads. Installing the other build over it points it at
; the new program. CategoryCount is kCategoryCount of EventIds.h.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Ostrana Connector"
!macro RegisterEventSource
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\ostrana.exe"
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "CategoryMessageFile" "$INSTDIR\ostrana.exe"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7  ; error, warning, information
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "CategoryCount" 6
!macroend
!macro UnregisterEventSource
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
!macroend

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AFTER=" $R1
  ${IfNot} ${Errors}
    Call un.RemoveAfter
    Quit
  ${EndIf}
  StrCpy $R0 $INSTDIR
  StrCpy $R1 ""
  !insertmacro WaitForClosedPrograms
FunctionEnd

; Sets $0 to 1 when the machine class has an in-process server in the
; current registry view, and $3 to 1 when it has an out-of-process one there
; (leaves $3 alone otherwise).
Function ClassRegistered
  StrCpy $0 0
  ReadRegStr $1 HKCR "${CLASS_KEY}\InprocServer32" ""
  ReadRegStr $2 HKCR "${CLASS_KEY}\LocalServer32" ""
  ${If} $1 != ""
    StrCpy $0 1
  ${EndIf}
  ${If} $2 != ""
    StrCpy $3 1
  ${EndIf}
FunctionEnd

Function .onInit
  StrCpy $Finish "Ostrana Connector is installed."
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/BITS=" $Bits
  ${IfNot} ${Errors}
  ${AndIf} $Bits != "32"
  ${AndIf} $Bits != "64"
    !insertmacro Refuse ${EXIT_BITS} "/BITS=$Bits: give /BITS=32 or /BITS=64, or leave it out to let the setup choose."
  ${EndIf}
  ; A /D= the setup does not take (relative, on no drive, quoted) leaves no
  ; folder: refused rather than installed in the default folder. The setup
  ; cuts /D= from $CMDLINE, so it is looked for in the process's own line.
  System::Call 'kernel32::GetCommandLineW() w .R1'
  ClearErrors
  ${GetOptions} $R1 "/D=" $R2
  ${IfNot} ${Errors}
  ${AndIf} $INSTDIR == ""
    !insertmacro Refuse ${EXIT_FOLDER} "/D=$R2: give a whole folder path on an existing drive, without quotes (/D= must come last), or leave it out."
  ${EndIf}
  ${If} $Bits != "32"
  ${AndIf} $Bits != "64"
    StrCpy $Bits ""
    StrCpy $3 0
    StrCpy $4 0
    ${If} ${RunningX64}
      SetRegView 64
      Call ClassRegistered
      SetRegView 32
      StrCpy $4 $0
    ${EndIf}
    Call ClassRegistered
    ${If} $3 == 1  ; out of process: either build reaches it
      StrCpy $Bits 32
      ${If} ${RunningX64}
        StrCpy $Bits 64
      ${EndIf}
    ${ElseIf} $4 == 1
      StrCpy $Bits 64
    ${ElseIf} $0 == 1
      StrCpy $Bits 32
    ${EndIf}
    ${If} $Bits == ""
      StrCpy $Bits 32
      ${If} ${RunningX64}
        StrCpy $Bits 64
      ${EndIf}
      StrCpy $Finish "Ostrana Connector ($Bits-bit) is installed, but the HEIDENHAIN DNC component is not: install it (HEIDENHAIN's RemoTools SDK), then check with the Start menu's Ostrana Connector DNC probe or ostrana.exe --dnc-probe. If the probe says the component is installed for the other bitness, run this setup again."
    ${EndIf}
  ${EndIf}
  ${IfNot} ${RunningX64}
    ${If} $Bits == 64  ; only /BITS=64 asks for it here
      !insertmacro Refuse ${EXIT_BITS} "/BITS=64: this Windows is 32-bit and runs no 64-bit program: give /BITS=32, or leave it out."
    ${EndIf}
  ${EndIf}
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ReadRegStr $Earlier HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ; /D= has set the folder already; otherwise a folder chosen for an earlier
  ; installation stays its folder (an update does not move it); otherwise
  ; Program Files of the build.
  ${If} $INSTDIR == ""
    ${If} $Earlier != ""
    ${AndIf} $Earlier != "$PROGRAMFILES64\Ostrana Connector"
    ${AndIf} $Earlier != "$PROGRAMFILES32\Ostrana Connector"
      StrCpy $INSTDIR $Earlier
    ${ElseIf} $Bits == 64
      StrCpy $INSTDIR "$PROGRAMFILES64\Ostrana Connector"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES32\Ostrana Connector"
    ${EndIf}
  ${EndIf}
  StrCpy $R0 $Earlier
  StrCpy $R1 $INSTDIR
  !insertmacro WaitForClosedPrograms
FunctionEnd

; The folder chosen on the folder page may hold programs in use too.
Function DirectoryLeave
  StrCpy $R0 $Earlier
  StrCpy $R1 $INSTDIR
  !insertmacro WaitForClosedPrograms
FunctionEnd

Section "Ostrana Connector"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  SetShellVarContext all  ; the shortcuts for every user of the computer
  DetailPrint "The $Bits-bit Ostrana Connector."
  ; The other build, installed before, goes (the settings stay in the user's registry).
  ${If} $Earlier != ""
  ${AndIf} $Earlier != $INSTDIR
    DetailPrint "Removing the earlier installation in $Earlier."
    !insertmacro ForEachFile DeleteFile "$Earlier"
    !insertmacro RemoveFolder "$Earlier"
  ${EndIf}
  SetOutPath "$INSTDIR"
  ${If} $Bits == 64
    File "${BIN64}\ostrana.exe"
    File "${BIN64}\ostrana-client.exe"
  ${Else}
    File "${BIN32}\ostrana.exe"
    File "${BIN32}\ostrana-client.exe"
  ${EndIf}
  File "${BIN64}\Quorvane_Relavio.TAB"
  File "${GUIDE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\Ostrana Connector*.lnk"  ; an earlier version's, beside the folder
  CreateDirectory "${MENU}"
  ; Made from outside the install folder: what a shortcut's making starts
  ; (Wine's menu builder) may stay a while in the current folder, which
  ; then could not be removed by an uninstall or a change of build.
  SetOutPath "$TEMP"
  CreateShortCut "${MENU}\Ostrana Connector.lnk" "$INSTDIR\ostrana.exe"
  CreateShortCut "${MENU}\Ostrana Connector guide.lnk" "$INSTDIR\guide.html"
  CreateShortCut "${MENU}\Ostrana Connector DNC probe.lnk" "$INSTDIR\ostrana.exe" "--dnc-probe-console"
  ; ostrana-client.exe and the probe from a prompt in the install folder.
  CreateShortCut "${MENU}\Ostrana Connector prompt.lnk" "$SYSDIR\cmd.exe" '/k cd /d "$INSTDIR"'
  WriteRegStr HKLM "Software\Quorvane\Corvessa\Ostrana Connector" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Ostrana Connector"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "1.1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvane Corvessa"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ostrana.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  ; In place (_?=): an uninstaller otherwise goes on from a copy of itself and
  ; its caller sees status 0 at once, whatever the copy then does; so the
  ; refusal's status reaches Add/Remove Programs or a deployment tool, and
  ; the end is the end of the uninstall.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Bits" "$Bits"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  !insertmacro RegisterEventSource
  DetailPrint "$Finish"
SectionEnd

Section "Uninstall"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  SetShellVarContext all
  SetOutPath "$TEMP"  ; a current folder cannot be removed
  !insertmacro ForEachFile DeleteFile "$INSTDIR"
  ; Run in place (the quiet uninstall), this program's own file cannot go
  ; while it runs: a copy of it outside the folder removes it, and the
  ; folder, once this one has ended.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    GetTempFileName $0
    Delete "$0"
    CopyFiles /SILENT "$EXEPATH" "$0.exe"
    System::Call 'kernel32::GetCurrentProcessId() i .r1'
    Exec '"$0.exe" /S /AFTER=$1 _?=$INSTDIR'
  ${EndIf}
  !insertmacro RemoveFolder "$INSTDIR"
  Delete "${MENU}\Ostrana Connector.lnk"
  Delete "${MENU}\Ostrana Connector guide.lnk"
  Delete "${MENU}\Ostrana Connector DNC probe.lnk"
  Delete "${MENU}\Ostrana Connector prompt.lnk"
  RMDir "${MENU}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Quorvane\Corvessa\Ostrana Connector"
  !insertmacro UnregisterEventSource
  ; The user's settings (HKCU\Software\Quorvane\Corvessa\Ostrana) stay.
SectionEnd
