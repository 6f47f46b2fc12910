; The kit's installer. One script for two targets: scripts/release.sh builds the
; shipped x86 installer from the x86 kit and, for the tests under Wine, an amd64
; one from the x86_64 programs. It defines VERSION, TARGET (x86-unicode or
; amd64-unicode), KIT (the one-folder kit), TOOL (the tool's file name), OUTFILE.
;
; Against DLL planting from a Downloads folder, NSIS 3 stubs limit their own DLL
; search to System32 before they load anything; this script uses no plugin, so
; the installer unpacks no DLL of its own either.

Unicode true
Target ${TARGET}
SetCompressor /SOLID lzma
ManifestSupportedOS all
RequestExecutionLevel admin

!define PRODUCT "Nibflash"
!define PUBLISHER "Maravel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\Maravel Firmware Upgrade Tool.lnk"

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} Setup"
OutFile "${OUTFILE}"
; $PROGRAMFILES is the folder of the installer's own architecture: Program Files
; (x86) for the x86 kit on 64-bit Windows.
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Programs"
  ; An earlier install goes first, through its own uninstaller: it knows its
  ; files, which may carry another version in their names. It runs in place
  ; (_?=) and waits; it leaves only itself, which is replaced below.
  IfFileExists "$INSTDIR\uninstall.exe" 0 +2
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'

  SetOutPath "$INSTDIR"
  File "${KIT}\Handover.exe"
  File "${KIT}\${TOOL}"
  File "${KIT}\README.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\Handover.exe" "" "$INSTDIR\Handover.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Handover.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SectionGetSize 0 $0  ; KiB, as EstimatedSize wants
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes exactly what the section above put there; the folder goes only if empty.
Section "Uninstall"
  Delete "$INSTDIR\Handover.exe"
  Delete "$INSTDIR\${TOOL}"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
