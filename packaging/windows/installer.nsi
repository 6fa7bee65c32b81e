; Windows installer of Vorkast system settings.
;   makensis -V2 -DVERSION=x.y.z -DSTAGE=/abs/staged/folder -DOUTFILE=/abs/setup.exe installer.nsi
; Also sets up the DCS World telemetry export in each DCS user folder found
; under Saved Games, and undoes exactly that on uninstall.

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE (-DVERSION=... -DSTAGE=... -DOUTFILE=...)"
!endif

; A 64-bit installer: runs where the 64-bit application runs, sees the 64-bit
; registry and Program Files without redirection, and needs no 32-bit wine.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include Sections.nsh
!include FileFunc.nsh

!define PRODUCT "Vorkast System Settings"
!define EXE "vorkast-settings.exe"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VorkastSystemSettings"
; Where the installer notes what it did, for the uninstaller to undo exactly that.
!define RECORD "$INSTDIR\install-record.ini"
; The line the README tells users to add by hand; pcall keeps a failing script
; from stopping the other exporters chained in Export.lua.
!define EXPORT_LINE "pcall(dofile, require('lfs').writedir() .. [[Scripts\VorkastExport.lua]])"

!if /FileExists "${STAGE}\${EXE}"
!else
  !error "${STAGE} holds no ${EXE}"
!endif
!if /FileExists "${STAGE}\VorkastExport.lua"
!else
  !error "${STAGE} holds no VorkastExport.lua"
!endif

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT}"
!define MUI_FINISHPAGE_RUN_FUNCTION StartThroughShortcut
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Uninstall list of exactly the staged files, deepest first, so that the
; uninstaller never removes what it did not install (e.g. when installed into
; an existing folder).
!tempfile STAGED_LIST
; A $ or " in a name would break the generated commands.
!system `cd "${STAGE}" && ! find . -name '*[$"]*' | grep .` = 0
; makensis turns every backslash of a !system command into a slash: none here.
!system `cd "${STAGE}" && { find . -type f | sed 's|^[.]/|!insertmacro UnFile "|; s|$|"|'; find . -mindepth 1 -type d | sort -r | sed 's|^[.]/|!insertmacro UnDir "|; s|$|"|'; } > "${STAGED_LIST}"` = 0

Var dcsDir     ; a DCS user folder
Var dcsName    ; its record section, the folder's name
Var file       ; Export.lua of $dcsDir
Var in
Var out
Var byte
Var index
Var lineStart
Var isOurs     ; 1: the line at $lineStart is the export line; 0: it is not; eof
Var pendingCR
Var newline    ; line end used in the file: "crlf" or "lf"
Var lastEnded  ; the file's last line ends with a line break
Var found
Var changed    ; the installer wrote to Export.lua
Var addedBreak ; the installer added a line break before its line
Var created    ; the installer created Export.lua
Var kept
Var pendingEnd ; line break of the last copied line, not written yet: 0, "lf", "crlf"
Var oursAtEnd  ; only export lines follow the last copied line

; Reads one line of $in from its current position and tells whether it is the
; export line, with or without CR, with or without a line break. Bytes are
; compared one by one so that lines of any length and encoding pass by unharmed.
; Out: $isOurs (1, 0 or eof). With 1 the file position is past the line end.
!macro MATCH_EXPORT_LINE un
Function ${un}MatchExportLine
  StrCpy $index 0
  ClearErrors
  FileReadByte $in $byte
  ${If} ${Errors}
    StrCpy $isOurs eof
    Return
  ${EndIf}
  StrCpy $isOurs 0
  StrLen $0 "${EXPORT_LINE}"
  ${Do}
    ${If} $index = $0
      ${If} $byte = 10
        StrCpy $isOurs 1
      ${ElseIf} $byte = 13
        ClearErrors
        FileReadByte $in $byte
        ${If} ${Errors}
        ${OrIf} $byte = 10
          StrCpy $isOurs 1
        ${EndIf}
      ${EndIf}
      Return
    ${EndIf}
    StrCpy $1 "${EXPORT_LINE}" 1 $index
    IntFmt $2 "%c" $byte
    ${IfNotThen} $1 S== $2 ${|} Return ${|}
    IntOp $index $index + 1
    ClearErrors
    FileReadByte $in $byte
    ${If} ${Errors}
      ${If} $index = $0
        StrCpy $isOurs 1
      ${EndIf}
      Return
    ${EndIf}
  ${Loop}
FunctionEnd

; Leaves $in at the first line, past a UTF-8 byte order mark; copies the mark
; to $out when $out is open.
Function ${un}SkipBom
  FileReadByte $in $0
  FileReadByte $in $1
  FileReadByte $in $2
  ${If} $0 = 0xEF
  ${AndIf} $1 = 0xBB
  ${AndIf} $2 = 0xBF
    ${If} $out != ""
      FileWriteByte $out $0
      FileWriteByte $out $1
      FileWriteByte $out $2
    ${EndIf}
  ${Else}
    FileSeek $in 0 SET
  ${EndIf}
  ClearErrors
FunctionEnd
!macroend
!insertmacro MATCH_EXPORT_LINE ""
!insertmacro MATCH_EXPORT_LINE "un."

; Silent installs go on without asking.
!macro Warn text
  DetailPrint "${text}"
  MessageBox MB_ICONEXCLAMATION|MB_OK "${text}" /SD IDOK
!macroend

!macro WriteLineBreak handle kind
  ${If} ${kind} == crlf
    FileWriteByte ${handle} 13
  ${EndIf}
  FileWriteByte ${handle} 10
!macroend

Section "${PRODUCT}" SecMain
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; The application keeps its profiles in its working directory, which must be
  ; writable by the user: Program Files is not.
  CreateDirectory "$DOCUMENTS\Vorkast"
  SetOutPath "$DOCUMENTS\Vorkast"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\${EXE}"
  ; Recorded as made, so that an uninstall by another account removes this one.
  WriteINIStr "${RECORD}" Install Shortcut "$SMPROGRAMS\${PRODUCT}.lnk"
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "${UNINST_KEY}" DisplayName "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" DisplayVersion "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" DisplayIcon "$INSTDIR\${EXE}"
  WriteRegStr HKLM "${UNINST_KEY}" Publisher "Vorkast"
  WriteRegStr HKLM "${UNINST_KEY}" InstallLocation "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" UninstallString '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" QuietUninstallString '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" NoModify 1
  WriteRegDWORD HKLM "${UNINST_KEY}" NoRepair 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" EstimatedSize $0
SectionEnd

; Appends the export line to $file unless the line is there already; other
; bytes stay as they are. Out: $changed, $created, $addedBreak.
Function AddExportLine
  StrCpy $changed 0
  StrCpy $created 0
  StrCpy $addedBreak 0
  ${IfNot} ${FileExists} "$file"
    ClearErrors
    FileOpen $out "$file" w
    ${If} ${Errors}
      !insertmacro Warn "Cannot create $file: add the export line by hand."
      Return
    ${EndIf}
    FileWrite $out "${EXPORT_LINE}"
    !insertmacro WriteLineBreak $out crlf
    FileClose $out
    StrCpy $changed 1
    StrCpy $created 1
    DetailPrint "Created $file"
    Return
  ${EndIf}

  ClearErrors
  FileOpen $in "$file" r
  ${If} ${Errors}
    !insertmacro Warn "Cannot read $file: add the export line by hand."
    Return
  ${EndIf}
  StrCpy $out ""
  Call SkipBom
  StrCpy $found 0
  StrCpy $newline crlf
  StrCpy $lastEnded 1
  ${Do}
    FileSeek $in 0 CUR $lineStart
    Call MatchExportLine
    ${If} $isOurs == 1
      StrCpy $found 1
    ${EndIf}
    ${IfThen} $isOurs != 0 ${|} ${Break} ${|}
    ; Someone else's line: note how it ends, to end ours alike.
    FileSeek $in $lineStart SET
    StrCpy $pendingCR 0
    StrCpy $lastEnded 0
    ${Do}
      ClearErrors
      FileReadByte $in $byte
      ${IfThen} ${Errors} ${|} ${Break} ${|}
      ${If} $byte = 10
        StrCpy $lastEnded 1
        ${If} $pendingCR = 1
          StrCpy $newline crlf
        ${Else}
          StrCpy $newline lf
        ${EndIf}
        ${Break}
      ${EndIf}
      ${If} $byte = 13
        StrCpy $pendingCR 1
      ${Else}
        StrCpy $pendingCR 0
      ${EndIf}
    ${Loop}
  ${LoopUntil} $lastEnded = 0
  FileClose $in
  ${If} $found = 1
    DetailPrint "$file already runs VorkastExport.lua"
    Return
  ${EndIf}

  ClearErrors
  FileOpen $out "$file" a
  ${If} ${Errors}
    !insertmacro Warn "Cannot write $file: add the export line by hand."
    Return
  ${EndIf}
  FileSeek $out 0 END
  ${If} $lastEnded = 0
    ; Never glue the line onto another tool's last line.
    !insertmacro WriteLineBreak $out $newline
    StrCpy $addedBreak 1
  ${EndIf}
  FileWrite $out "${EXPORT_LINE}"
  !insertmacro WriteLineBreak $out $newline
  FileClose $out
  StrCpy $changed 1
  DetailPrint "Added VorkastExport.lua to $file"
FunctionEnd

; Sets up the export in the DCS user folder $dcsDir and records it as $dcsName.
Function SetUpDcs
  ${IfNot} ${FileExists} "$dcsDir\*.*"
    Return
  ${EndIf}
  SetOutPath "$dcsDir\Scripts"
  File "${STAGE}\VorkastExport.lua"
  SetOutPath "$INSTDIR"
  StrCpy $file "$dcsDir\Scripts\Export.lua"
  Call AddExportLine
  ; A second install finds its own line: keep what the first one recorded.
  ReadINIStr $0 "${RECORD}" "$dcsName" Dir
  ${If} $0 == ""
  ${OrIf} $changed = 1
    WriteINIStr "${RECORD}" "$dcsName" Dir "$dcsDir"
    WriteINIStr "${RECORD}" "$dcsName" CreatedExportLua $created
    WriteINIStr "${RECORD}" "$dcsName" AddedLineBreak $addedBreak
  ${EndIf}
FunctionEnd

Section "DCS World" SecDcs
  SetShellVarContext current
  StrCpy $dcsName "DCS"
  StrCpy $dcsDir "$PROFILE\Saved Games\$dcsName"
  Call SetUpDcs
SectionEnd

Section "DCS open beta" SecDcsBeta
  SetShellVarContext current
  StrCpy $dcsName "DCS.openbeta"
  StrCpy $dcsDir "$PROFILE\Saved Games\$dcsName"
  Call SetUpDcs
SectionEnd

!macro OfferDcs section name
  ${IfNot} ${FileExists} "$PROFILE\Saved Games\${name}\*.*"
    SectionSetFlags ${section} ${SF_RO}
    SectionGetText ${section} $0
    SectionSetText ${section} "$0 (not found)"
  ${EndIf}
!macroend

; Through Explorer, the application runs as the user, not elevated, and in the
; shortcut's working directory.
Function StartThroughShortcut
  ReadINIStr $0 "${RECORD}" Install Shortcut
  Exec '"$WINDIR\explorer.exe" "$0"'
FunctionEnd

Function .onInit
  SetRegView 64
  SetShellVarContext current
  !insertmacro OfferDcs ${SecDcs} "DCS"
  !insertmacro OfferDcs ${SecDcsBeta} "DCS.openbeta"
FunctionEnd

!define DCS_DESCRIPTION "Copies VorkastExport.lua to Saved Games\DCS_FOLDER\Scripts and \
  adds the line that runs it to Export.lua there. Uninstalling removes both again."
!searchreplace DCS_DESCRIPTION_STABLE "${DCS_DESCRIPTION}" DCS_FOLDER DCS
!searchreplace DCS_DESCRIPTION_BETA "${DCS_DESCRIPTION}" DCS_FOLDER DCS.openbeta
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "The application, in Program Files, and its Start-menu shortcut."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDcs} "${DCS_DESCRIPTION_STABLE}"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecDcsBeta} "${DCS_DESCRIPTION_BETA}"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Removes every export line from $file, keeping all other bytes; also the line
; break the installer put before its line, when that line is still last. A file
; the installer created goes when nothing else is left in it.
Function un.RemoveExportLine
  ${IfNot} ${FileExists} "$file"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $in "$file" r
  FileOpen $out "$file.vorkast-new" w
  ${If} ${Errors}
    !insertmacro Warn "Cannot update $file: remove the VorkastExport.lua line by hand."
    FileClose $in
    FileClose $out
    Delete "$file.vorkast-new"
    Return
  ${EndIf}
  Call un.SkipBom
  StrCpy $found 0
  StrCpy $kept 0
  StrCpy $pendingEnd 0
  StrCpy $oursAtEnd 0
  ${Do}
    FileSeek $in 0 CUR $lineStart
    Call un.MatchExportLine
    ${If} $isOurs == eof
      ${Break}
    ${ElseIf} $isOurs == 1
      StrCpy $found 1
      StrCpy $oursAtEnd 1
      ${Continue}
    ${EndIf}
    FileSeek $in $lineStart SET
    ${If} $pendingEnd != 0
      !insertmacro WriteLineBreak $out $pendingEnd
    ${EndIf}
    StrCpy $pendingEnd 0
    StrCpy $oursAtEnd 0
    IntOp $kept $kept + 1
    ; Copy the line, holding its line break back: it is dropped when the
    ; installer added it and only export lines follow.
    StrCpy $pendingCR 0
    ${Do}
      ClearErrors
      FileReadByte $in $byte
      ${If} ${Errors}
        ${IfThen} $pendingCR = 1 ${|} FileWriteByte $out 13 ${|}
        ${Break}
      ${EndIf}
      ${If} $byte = 10
        ${If} $pendingCR = 1
          StrCpy $pendingEnd crlf
        ${Else}
          StrCpy $pendingEnd lf
        ${EndIf}
        ${Break}
      ${EndIf}
      ${IfThen} $pendingCR = 1 ${|} FileWriteByte $out 13 ${|}
      ${If} $byte = 13
        StrCpy $pendingCR 1
      ${Else}
        StrCpy $pendingCR 0
        FileWriteByte $out $byte
      ${EndIf}
    ${Loop}
  ${Loop}
  ${If} $pendingEnd != 0
    ${IfNot} $addedBreak = 1
    ${OrIfNot} $oursAtEnd = 1
      !insertmacro WriteLineBreak $out $pendingEnd
    ${EndIf}
  ${EndIf}
  FileClose $in
  FileClose $out

  ${If} $found = 0
    Delete "$file.vorkast-new"
  ${ElseIf} $kept = 0
  ${AndIf} $created = 1
    Delete "$file.vorkast-new"
    Delete "$file"
    DetailPrint "Removed $file"
  ${Else}
    ClearErrors
    Delete "$file"
    ${If} ${Errors}
      !insertmacro Warn "Cannot update $file: remove the VorkastExport.lua line by hand."
      Delete "$file.vorkast-new"
      Return
    ${EndIf}
    Rename "$file.vorkast-new" "$file"
    ${If} ${Errors}
      !insertmacro Warn "Cannot rename $file.vorkast-new to Export.lua: please do so by hand."
    ${Else}
      DetailPrint "Removed VorkastExport.lua from $file"
    ${EndIf}
  ${EndIf}
FunctionEnd

!macro UndoDcs name
  ReadINIStr $dcsDir "${RECORD}" "${name}" Dir
  ${If} $dcsDir != ""
    ReadINIStr $created "${RECORD}" "${name}" CreatedExportLua
    ReadINIStr $addedBreak "${RECORD}" "${name}" AddedLineBreak
    StrCpy $file "$dcsDir\Scripts\Export.lua"
    Call un.RemoveExportLine
    Delete "$dcsDir\Scripts\VorkastExport.lua"
  ${EndIf}
!macroend

!macro UnFile path
  !searchreplace UN_PATH "${path}" "/" "\"
  Delete "$INSTDIR\${UN_PATH}"
  !undef UN_PATH
!macroend
!macro UnDir path
  !searchreplace UN_PATH "${path}" "/" "\"
  RMDir "$INSTDIR\${UN_PATH}"
  !undef UN_PATH
!macroend

Section "Uninstall"
  SetShellVarContext current
  ; Documents\Vorkast holds the user's profiles: it stays.
  !insertmacro UndoDcs "DCS"
  !insertmacro UndoDcs "DCS.openbeta"
  ReadINIStr $0 "${RECORD}" Install Shortcut
  ${If} $0 != ""
    Delete "$0"
  ${EndIf}

  !include "${STAGED_LIST}"
  Delete "${RECORD}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

!delfile "${STAGED_LIST}"
