; The Kestrix installer: both programs, the read-me and the licence into
; Program Files\Kestrix, a Start menu entry, and an uninstaller listed in
; the system's installed programs. Made by the windows-installer target,
; which defines VERSION, NUMERIC_VERSION, STAGE, OUT and ICON.
Target amd64-unicode
!include "MUI2.nsh"

Name "Kestrix ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\Kestrix"
InstallDirRegKey HKLM "Software\Kestrix" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${NUMERIC_VERSION}"
VIAddVersionKey "ProductName" "Kestrix"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Kestrix installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 The Kestrix developers. GPLv3+"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${STAGE}\LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrix"

; A type that Explorer offers to open with Kestrix, beside its own program.
!macro OpenWith EXTENSION
  WriteRegStr HKLM "Software\Classes\Applications\kestrix.exe\SupportedTypes" "${EXTENSION}" ""
  WriteRegStr HKLM "Software\Classes\${EXTENSION}\OpenWithList\kestrix.exe" "" ""
!macroend

Section "Kestrix"
  SetRegView 64
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${STAGE}\kestrix.exe"
  File "${STAGE}\kestrix-convert.exe"
  File "${STAGE}\readme.txt"
  File "${STAGE}\LICENSE.txt"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Kestrix.lnk" "$INSTDIR\kestrix.exe"
  WriteRegStr HKLM "Software\Kestrix" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Kestrix"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Kestrix developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\kestrix.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ; "Open with" for images, patches and DAT files, never the default: the program's own entry
  ; lists the types it opens, and each type lists the program among others.
  WriteRegStr HKLM "Software\Classes\Applications\kestrix.exe\shell\open\command" "" '"$INSTDIR\kestrix.exe" "%1"'
  WriteRegStr HKLM "Software\Classes\Applications\kestrix.exe" "FriendlyAppName" "Kestrix"
  !insertmacro OpenWith ".smd"
  !insertmacro OpenWith ".md"
  !insertmacro OpenWith ".gen"
  !insertmacro OpenWith ".bin"
  !insertmacro OpenWith ".ips"
  !insertmacro OpenWith ".bps"
  !insertmacro OpenWith ".ups"
  !insertmacro OpenWith ".dat"
  !insertmacro OpenWith ".xdelta"
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$INSTDIR\kestrix.exe"
  Delete "$INSTDIR\kestrix-convert.exe"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Kestrix.lnk"
  DeleteRegKey HKLM "Software\Classes\Applications\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.smd\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.md\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.gen\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.bin\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.ips\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.bps\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.ups\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.dat\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "Software\Classes\.xdelta\OpenWithList\kestrix.exe"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "Software\Kestrix"
SectionEnd
