; Setup program of Corvane UnPaker for one Windows architecture, built with
; makensis on Linux by tools/windows_installer.sh:
;   makensis -DVERSION=1.0.0.1 -DBITS=32 -DSTAGE=folder -DOUTFILE=setup.exe installer.nsi
; STAGE holds Tessup.exe, pakunpack.exe, LICENSE and README.txt as they are
; installed. The setup installs for the current user only, needs no
; administrator rights, and runs silently with /S (and /D=folder).
;
; .pak files open in Tessup.exe only when the user has no other program for
; them; the uninstall key remembers whether this setup took them, and the
; uninstaller gives them back only while they still point at us.

!ifndef VERSION
    !error "define VERSION, BITS (32 or 64), STAGE and OUTFILE"
!endif
!ifndef BITS
    !error "define BITS: 32 or 64"
!endif
!ifndef STAGE
    !error "define STAGE: the folder of the files to install"
!endif
!ifndef OUTFILE
    !error "define OUTFILE: the setup program to write"
!endif

!if ${BITS} == 64
    Target amd64-unicode
!else if ${BITS} == 32
    Target x86-unicode
!else
    !error "BITS is 32 or 64, not ${BITS}"
!endif

!define PRODUCT "Corvane UnPaker"
!define PUBLISHER "the Corvane UnPaker authors"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\CorvaneUnPaker"
!define CLASSES "Software\Classes"
!define PROGID "CorvaneUnPaker.pak"
!define APP_KEY "${CLASSES}\Applications\Tessup.exe"
!define USER_CHOICE "Software\Microsoft\Windows\CurrentVersion\Explorer\FileExts\.pak\UserChoice"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; SHChangeNotify's event for a changed file association.
!define SHCNE_ASSOCCHANGED 0x08000000

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} (${BITS}-bit) Setup"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; A second run offers the folder of the first.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
SetCompressor /SOLID lzma
ManifestDPIAware true
ShowInstDetails nevershow
ShowUninstDetails nevershow
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${BITS}-bit Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

!define MUI_ICON "../pak_unpacker.ico"
!define MUI_UNICON "../pak_unpacker.ico"
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tessup.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start Corvane UnPaker"
!define MUI_FINISHPAGE_RUN_NOTCHECKED

!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Clears $R0 unless the registry value VALUE is empty or names our file type.
!macro FreeOrOurs VALUE
    ${IfNot} ${VALUE} == ""
    ${AndIfNot} ${VALUE} == "${PROGID}"
        StrCpy $R0 0
    ${EndIf}
!macroend

Function .onInit
    SetShellVarContext current
!if ${BITS} == 64
    SetRegView 64
!endif
FunctionEnd

Function un.onInit
    SetShellVarContext current
!if ${BITS} == 64
    SetRegView 64
!endif
FunctionEnd

Section "Install"
    SetOutPath "$INSTDIR"
    File "${STAGE}/Tessup.exe"
    File "${STAGE}/pakunpack.exe"
    File "${STAGE}/LICENSE"
    File "${STAGE}/README.txt"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    CreateShortCut "${SHORTCUT}" "$INSTDIR\Tessup.exe" "" "$INSTDIR\Tessup.exe" 0 SW_SHOWNORMAL "" \
        "Check and extract Corvane .pak game archives"

    ; "Open with" lists the program under its own name, whoever owns .pak.
    WriteRegStr HKCU "${APP_KEY}" "FriendlyAppName" "${PRODUCT}"
    WriteRegStr HKCU "${APP_KEY}\DefaultIcon" "" "$INSTDIR\Tessup.exe,0"
    WriteRegStr HKCU "${APP_KEY}\SupportedTypes" ".pak" ""
    WriteRegStr HKCU "${APP_KEY}\shell\open\command" "" '"$INSTDIR\Tessup.exe" "%1"'

    ; .pak is ours to take when neither the user's classes, the merged view
    ; of all classes nor the user's Explorer choice name another program;
    ; one that already names us (an earlier install) is refreshed.
    ReadRegStr $0 HKCU "${CLASSES}\.pak" ""
    ReadRegStr $1 HKCR ".pak" ""
    ReadRegStr $2 HKCU "${USER_CHOICE}" "ProgId"
    StrCpy $R0 1
    !insertmacro FreeOrOurs $0
    !insertmacro FreeOrOurs $1
    !insertmacro FreeOrOurs $2
    ${If} $0 == "${PROGID}"
        StrCpy $R0 1
    ${EndIf}
    ${If} $R0 == 1
        WriteRegStr HKCU "${CLASSES}\${PROGID}" "" "Corvane pak archive"
        WriteRegStr HKCU "${CLASSES}\${PROGID}\DefaultIcon" "" "$INSTDIR\Tessup.exe,0"
        WriteRegStr HKCU "${CLASSES}\${PROGID}\shell\open\command" "" '"$INSTDIR\Tessup.exe" "%1"'
        WriteRegStr HKCU "${CLASSES}\.pak" "" "${PROGID}"
    ${EndIf}

    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (${BITS}-bit)"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Tessup.exe,0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "PakAssociation" $R0
    ${GetSize} "$INSTDIR" "/S=0K" $3 $4 $5
    IntFmt $3 "0x%08X" $3
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $3

    ${If} $R0 == 1
        System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
    ${EndIf}
SectionEnd

Section "Uninstall"
    ReadRegDWORD $R0 HKCU "${UNINSTALL_KEY}" "PakAssociation"
    ${If} $R0 == 1
        ; Our own file type goes; .pak is given back only while it names it.
        DeleteRegKey HKCU "${CLASSES}\${PROGID}"
        ReadRegStr $0 HKCU "${CLASSES}\.pak" ""
        ${If} $0 == "${PROGID}"
            DeleteRegValue HKCU "${CLASSES}\.pak" ""
            DeleteRegKey /ifempty HKCU "${CLASSES}\.pak"
        ${EndIf}
    ${EndIf}
    DeleteRegKey HKCU "${APP_KEY}"
    DeleteRegKey /ifempty HKCU "${CLASSES}\Applications"

    Delete "${SHORTCUT}"
    Delete "$INSTDIR\Tessup.exe"
    Delete "$INSTDIR\pakunpack.exe"
    Delete "$INSTDIR\LICENSE"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\uninstall.exe"
    ; Anything the user put in the folder stays, and the folder with it.
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"

    System::Call 'shell32::SHChangeNotify(i ${SHCNE_ASSOCCHANGED}, i 0, p 0, p 0)'
SectionEnd
