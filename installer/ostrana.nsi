; The Windows installer of Ostrana Connector: ostrana.exe, ostrana-client.exe
; and the table template side by side under Program Files, the guide, a
; Start-menu shortcut, and an uninstaller registered in Add/Remove Programs.
; It carries the 32-bit and the 64-bit build and installs the one that can
; create the DNC component. An out-of-process server (LocalServer32, in
; either registry view) serves programs of both bitnesses: then the build
; that matches Windows. Otherwise the view the in-process server (a DLL) is
; registered in decides, as a 64-bit program cannot load a 32-bit DLL nor
; the reverse. Without any registration it installs the build that matches
; Windows and says that the component must be installed. /BITS=32 or
; /BITS=64 overrides the choice.
; Installing over the other build removes that build; the user's settings
; stay, as they do when uninstalling. /S installs and uninstalls silently.
; A running Ostrana Connector (the mutex every run holds, a headless one too)
; is asked to be closed before anything is replaced or removed; a silent
; (un)install refuses with exit status 5 while it runs.
; Built by scripts/windows with makensis:
;   makensis -DBIN32=<32-bit programs> -DBIN64=<64-bit programs> -DGUIDE=<guide.html> -DOUT=<setup.exe> ostrana.nsi
; The installer itself is a 32-bit program, so it runs on 32-bit Windows too.
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

!define RUNNING_MUTEX "OstranaConnectorRunning"

Var Bits     ; 32 or 64: the build to install
Var Finish   ; what the last page says

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$Finish"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Waits until no Ostrana Connector runs: asks to close it, or ends the (un)installer.
!macro WaitForClosedConnector
  ${Do}
    System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .R8'
    ${If} $R8 == 0
      ${Break}
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R8)'
    ${If} ${Silent}
      System::Call 'kernel32::ExitProcess(i 5)'  ; the uninstaller's Quit would end with status 0
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Ostrana Connector is running. Close it (its window, or the headless run), then choose Retry." IDRETRY +3
    SetErrorLevel 5
    Quit
  ${Loop}
!macroend

Function un.onInit
  !insertmacro WaitForClosedConnector
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
  !insertmacro WaitForClosedConnector
  StrCpy $Finish "Ostrana Connector is installed."
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/BITS=" $Bits
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
    StrCpy $Bits 32  ; a 64-bit program does not run on 32-bit Windows
  ${EndIf}
  ${If} $Bits == 64
    StrCpy $INSTDIR "$PROGRAMFILES64\Ostrana Connector"
  ${Else}
    StrCpy $INSTDIR "$PROGRAMFILES32\Ostrana Connector"
  ${EndIf}
FunctionEnd

Section "Ostrana Connector"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  SetShellVarContext all  ; the shortcut for every user of the computer
  DetailPrint "The $Bits-bit Ostrana Connector."
  ; The other build, installed before, goes (the settings stay in the user's registry).
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
    DetailPrint "Removing the earlier installation in $0."
    Delete "$0\ostrana.exe"
    Delete "$0\ostrana-client.exe"
    Delete "$0\Quorvane_Relavio.TAB"
    Delete "$0\guide.html"
    Delete "$0\uninstall.exe"
    RMDir "$0"
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
  CreateShortCut "$SMPROGRAMS\Ostrana Connector.lnk" "$INSTDIR\ostrana.exe"
  CreateShortCut "$SMPROGRAMS\Ostrana Connector guide.lnk" "$INSTDIR\guide.html"
  CreateShortCut "$SMPROGRAMS\Ostrana Connector DNC probe.lnk" "$INSTDIR\ostrana.exe" "--dnc-probe-console"
  ; ostrana-client.exe and the probe from a prompt in the install folder.
  SetOutPath "$INSTDIR"
  CreateShortCut "$SMPROGRAMS\Ostrana Connector prompt.lnk" "$SYSDIR\cmd.exe" '/k cd /d "$INSTDIR"'
  WriteRegStr HKLM "Software\Quorvane\Corvessa\Ostrana Connector" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Ostrana Connector"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "1.1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvane Corvessa"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ostrana.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Bits" "$Bits"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  DetailPrint "$Finish"
SectionEnd

Section "Uninstall"
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  SetShellVarContext all
  Delete "$INSTDIR\ostrana.exe"
  Delete "$INSTDIR\ostrana-client.exe"
  Delete "$INSTDIR\Quorvane_Relavio.TAB"
  Delete "$INSTDIR\guide.html"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Ostrana Connector.lnk"
  Delete "$SMPROGRAMS\Ostrana Connector guide.lnk"
  Delete "$SMPROGRAMS\Ostrana Connector DNC probe.lnk"
  Delete "$SMPROGRAMS\Ostrana Connector prompt.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Quorvane\Corvessa\Ostrana Connector"
  ; The user's settings (HKCU\Software\Quorvane\Corvessa\Ostrana) stay.
SectionEnd
