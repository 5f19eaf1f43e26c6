; The Windows installer of Ostrana Connector: ostrana.exe, ostrana-client.exe
; and the table template side by side under Program Files, the guide, a
; Start-menu shortcut, and an uninstaller registered in Add/Remove Programs.
; The uninstaller leaves the user's settings in the registry. /S installs
; and uninstalls silently. Built by scripts/windows with makensis:
;   makensis -DBIN=<dir of the programs> -DGUIDE=<guide.html> -DOUT=<setup.exe> ostrana.nsi
Target amd64-unicode  ; a 64-bit installer: the programs are 64-bit, and Wine here runs 64-bit only
!include "MUI2.nsh"

Name "Ostrana Connector"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\Ostrana Connector"
InstallDirRegKey HKLM "Software\Quorvane\Corvessa\Ostrana Connector" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\OstranaConnector"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Ostrana Connector"
  SetRegView 64
  SetShellVarContext all  ; the shortcut for every user of the computer
  SetOutPath "$INSTDIR"
  File "${BIN}\ostrana.exe"
  File "${BIN}\ostrana-client.exe"
  File "${BIN}\Quorvane_Relavio.TAB"
  File "${GUIDE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortCut "$SMPROGRAMS\Ostrana Connector.lnk" "$INSTDIR\ostrana.exe"
  WriteRegStr HKLM "Software\Quorvane\Corvessa\Ostrana Connector" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Ostrana Connector"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "1.1"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorvane Corvessa"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\ostrana.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$INSTDIR\ostrana.exe"
  Delete "$INSTDIR\ostrana-client.exe"
  Delete "$INSTDIR\Quorvane_Relavio.TAB"
  Delete "$INSTDIR\guide.html"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Ostrana Connector.lnk"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Quorvane\Corvessa\Ostrana Connector"
  ; The user's settings (HKCU\Software\Quorvane\Corvessa\Ostrana) stay.
SectionEnd
