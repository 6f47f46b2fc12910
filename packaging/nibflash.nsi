; The kit's installer, built by scripts/release.sh from the x86 kit. It defines
; VERSION, KIT (the one-folder kit), TOOL (the tool's file name), OUTFILE and
; FINISH, the command that readies the program %1 for shipping in place (pads,
; checksums and, for a signed release, signs it).
;
; Against DLL planting from a Downloads folder, NSIS 3 stubs limit their own DLL
; search to System32 before they load anything. The one plugin (System, to look
; for the tool's lock) is unpacked into a fresh folder of its own under TEMP and
; loaded from there by its full path.

Unicode true
Target x86-unicode
SetCompressor /SOLID lzma
ManifestSupportedOS all
RequestExecutionLevel admin

!define PRODUCT "Nibflash"
!define PUBLISHER "Maravel"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\Maravel Firmware Upgrade Tool.lnk"
; Every version's tool: an install replaces an older one whatever its version.
!define TOOLS "Maravel_Firmware_Upgrade_Tool_v*.exe"
; The lock a copy of the tool holds while it has a pen, by the tool's own
; definition: the C text between the quotes, with \\ for one backslash.
!searchparse /file "${__FILEDIR__}/../tool/pen_lock_name.h" '#define NIBFLASH_PEN_LOCK_NAME "' PEN_LOCK_C '"'
!searchreplace PEN_LOCK "${PEN_LOCK_C}" "\\" "\"

!include LogicLib.nsh

Name "${PRODUCT} ${VERSION}"
Caption "${PRODUCT} ${VERSION} Setup"
OutFile "${OUTFILE}"
; $PROGRAMFILES is the folder of the installer's own architecture: Program Files
; (x86) for the x86 kit on 64-bit Windows.
InstallDir "$PROGRAMFILES\${PRODUCT}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
ShowInstDetails show
ShowUninstDetails show
Icon "${__FILEDIR__}/../icons/nibflash.ico"
UninstallIcon "${__FILEDIR__}/../icons/nibflash.ico"
!ifdef FINISH
  ; The uninstaller as the programs, before it goes into the installer, which
  ; then writes it out as it is.
  !uninstfinalize "${FINISH}" = 0
!endif

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

; Waits until no copy of the tool has a pen and no program of the folder runs:
; the person is asked to close it (Retry / Cancel). Silently, or on Cancel, the
; run ends here with exit code 2, having changed nothing. The launcher holds no
; lock, and a tool without a pen does not hold it either: a running program is
; also found by its file, which Windows does not let anyone open for writing.
!macro ENSURE_NOT_RUNNING un
Function ${un}EnsureNotRunning
  Push $0
  Push $1
  Push $2
check:
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${PEN_LOCK}") p.r0 ?e'
  Pop $1
  ${If} $0 P<> 0
    System::Call 'kernel32::CloseHandle(p r0)'
    Goto running
  ${EndIf}
  IntCmp $1 5 running  ; ERROR_ACCESS_DENIED: there, but not ours to open
  StrCpy $2 "Handover.exe"
  FindFirst $1 $0 "$INSTDIR\${TOOLS}"
try:
  ${If} $2 != ""
  ${AndIf} ${FileExists} "$INSTDIR\$2"
    ClearErrors
    FileOpen $2 "$INSTDIR\$2" a
    IfErrors running_found
    FileClose $2
  ${EndIf}
  StrCpy $2 $0
  StrCmp $0 "" 0 +3
    FindClose $1
    Goto done
  FindNext $1 $0
  Goto try
running_found:
  FindClose $1
running:
  MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
    "The Maravel Firmware Upgrade Tool or Handover is running.$\r$\n$\r$\nClose it, then click Retry." \
    /SD IDCANCEL IDRETRY check
  SetErrorLevel 2
  Quit
done:
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro ENSURE_NOT_RUNNING ""
!insertmacro ENSURE_NOT_RUNNING "un."

Section "Programs"
  Call EnsureNotRunning
  ; An earlier install goes first, through its own uninstaller: it knows its
  ; files. It runs in place (_?=) and waits; it leaves only itself, which is
  ; replaced below. An older tool it did not know of goes too.
  ${If} ${FileExists} "$INSTDIR\uninstall.exe"
    ExecWait '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR' $0
    ${If} $0 <> 0
      MessageBox MB_OK|MB_ICONSTOP "The installed version in $INSTDIR could not be removed." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  Delete "$INSTDIR\${TOOLS}"

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

; Removes what the section above put there; the folder goes only if empty. The
; shortcut and the Apps & features entry go only once the programs are gone, so
; that a program still there can be uninstalled again (exit code 3 otherwise).
Section "Uninstall"
  Call un.EnsureNotRunning
  ClearErrors
  Delete "$INSTDIR\Handover.exe"
  Delete "$INSTDIR\${TOOLS}"
  Delete "$INSTDIR\README.txt"
  ${If} ${Errors}
    SetErrorLevel 3
    MessageBox MB_OK|MB_ICONSTOP "Some files in $INSTDIR could not be removed. Close the programs that use them, then uninstall again." /SD IDOK
    Return
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"  ; fails only when run in place by a new install
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
