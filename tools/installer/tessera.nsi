; The Tessera installer: a per-machine install under Program Files with a Start-menu entry, an
; optional desktop shortcut and an entry in Apps and Features. Built by tools/package.sh, which
; defines VERSION, OUTFILE, RES (the resource folder) and LISTS (the folder holding the files to
; ship and the lists install_files.nsh and uninstall_files.nsh made from them).
;
; Command line: /S installs silently; /LANGUAGE=N (1 to 11) picks the language, else the
; system's language is taken; /NODESKTOP leaves out the desktop shortcut; /D=FOLDER (last)
; installs elsewhere. Installing over an earlier install goes into its folder and keeps the
; settings, the cache folder and the recovery folder.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true
CRCCheck force

!include MUI2.nsh
!include FileFunc.nsh
!include LogicLib.nsh

!define uninstall_key "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessera"
!define publisher "The Tessera developers"

Name "Tessera"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Tessera"
InstallDirRegKey HKLM "${uninstall_key}" "InstallLocation"
BrandingText "Tessera ${VERSION}"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"

!define MUI_ICON "${RES}/tessera.ico"
!define MUI_UNICON "${RES}/tessera.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${__FILEDIR__}/welcome.bmp"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\Tessera.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The languages of language.ini: the number Tessera reads from Tessera_Init on its first start,
; NSIS's translation, and the name as language.ini spells it (the language page lists these).
!macro tessera_languages apply
    !insertmacro ${apply} 1 English ENGLISH "English"
    !insertmacro ${apply} 2 German GERMAN "Deutsch"
    !insertmacro ${apply} 3 Spanish SPANISH "Español"
    !insertmacro ${apply} 4 French FRENCH "Français"
    !insertmacro ${apply} 5 Italian ITALIAN "Italiano"
    !insertmacro ${apply} 6 Japanese JAPANESE "日本語"
    !insertmacro ${apply} 7 SimpChinese SIMPCHINESE "简体中文"
    !insertmacro ${apply} 8 TradChinese TRADCHINESE "繁體中文"
    !insertmacro ${apply} 9 Dutch DUTCH "Nederlands"
    !insertmacro ${apply} 10 PortugueseBR PORTUGUESEBR "Português"
    !insertmacro ${apply} 11 Arabic ARABIC "العربية"
!macroend

!macro insert_language index nsis_name id name
    !insertmacro MUI_LANGUAGE "${nsis_name}"
    !define /ifndef language_choices ""
    !define /redef language_choices `${language_choices} "${name}" ${LANG_${id}}`
!macroend
!insertmacro tessera_languages insert_language

!include "${__FILEDIR__}/texts.nsh"

VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Tessera"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${publisher}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Tessera setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) 2026 ${publisher}"

; $LANGUAGE for a number from the command line; other numbers leave it as it is.
!macro language_of_number index nsis_name id name
    ${If} $0 == ${index}
        StrCpy $LANGUAGE ${LANG_${id}}
    ${EndIf}
!macroend

; The number of $LANGUAGE, into $0.
!macro number_of_language index nsis_name id name
    ${If} $LANGUAGE == ${LANG_${id}}
        StrCpy $0 ${index}
    ${EndIf}
!macroend

; Files are replaced only while Tessera is not running: its single-instance mutex tells.
!macro wait_until_tessera_closed un
    Function ${un}wait_until_tessera_closed
        ${Do}
            System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "TSR") p .r0'
            ${If} $0 == 0
                ${Break}
            ${EndIf}
            System::Call 'kernel32::CloseHandle(p r0)'
            MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(tessera_running)" /SD IDCANCEL IDRETRY +2
            Abort
        ${Loop}
    FunctionEnd
!macroend
!insertmacro wait_until_tessera_closed ""
!insertmacro wait_until_tessera_closed "un."

Section "Tessera" program_section
    SectionIn RO
    Call wait_until_tessera_closed
    !include "${LISTS}/install_files.nsh"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\Tessera.lnk" "$INSTDIR\Tessera.exe"

    StrCpy $0 1
    !insertmacro tessera_languages number_of_language
    WriteRegDWORD HKCU "SOFTWARE\Tessera_Init" "language" $0

    WriteRegStr HKLM "${uninstall_key}" "DisplayName" "Tessera"
    WriteRegStr HKLM "${uninstall_key}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${uninstall_key}" "Publisher" "${publisher}"
    WriteRegStr HKLM "${uninstall_key}" "DisplayIcon" "$INSTDIR\Tessera.exe,0"
    WriteRegStr HKLM "${uninstall_key}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${uninstall_key}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${uninstall_key}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${uninstall_key}" "NoModify" 1
    WriteRegDWORD HKLM "${uninstall_key}" "NoRepair" 1
    SectionGetSize ${program_section} $0
    WriteRegDWORD HKLM "${uninstall_key}" "EstimatedSize" $0
SectionEnd

Section "$(desktop_shortcut)" desktop_section
    CreateShortCut "$DESKTOP\Tessera.lnk" "$INSTDIR\Tessera.exe"
SectionEnd

; An upgrade without the desktop shortcut removes the one an earlier install made.
Section "-remove the desktop shortcut when not chosen"
    ${IfNot} ${SectionIsSelected} ${desktop_section}
        Delete "$DESKTOP\Tessera.lnk"
    ${EndIf}
SectionEnd

Function .onInit
    SetShellVarContext all
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/LANGUAGE=" $0
    ${IfNot} ${Errors}
        !insertmacro tessera_languages language_of_number
    ${EndIf}
    ClearErrors
    ${GetOptions} $1 "/NODESKTOP" $0
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${desktop_section}
    ${EndIf}
    ${IfNot} ${Silent}
        LangDLL::LangDialog "Installer Language" "Please select a language." A ${language_choices} ""
        Pop $LANGUAGE
        ${If} $LANGUAGE == "cancel"
            Abort
        ${EndIf}
    ${EndIf}
FunctionEnd

Section "Uninstall"
    Call un.wait_until_tessera_closed
    !include "${LISTS}/uninstall_files.nsh"
    Delete "$INSTDIR\uninstall.exe"
    Delete "$SMPROGRAMS\Tessera.lnk"
    Delete "$DESKTOP\Tessera.lnk"
    DeleteRegKey HKLM "${uninstall_key}"
    DeleteRegKey HKCU "SOFTWARE\Tessera_Init"
    Call un.offer_to_delete_the_cache
    ; Only when empty: the recovery folder is beside the program unless the user moved it.
    RMDir "$INSTDIR"
SectionEnd

; The uninstaller speaks the language chosen at installation.
Function un.onInit
    SetShellVarContext all
    ReadRegDWORD $0 HKCU "SOFTWARE\Tessera_Init" "language"
    !insertmacro tessera_languages language_of_number
FunctionEnd

; The cache folder holds what earlier searches found, in the work folders Tessera made: "tmp"
; and "tmp.*" (earlier results) and "~tmp.<number>" (set aside at a search's start, deleted while
; it runs), each marked by a file ".tessera_work" of its own. Only when the user says so, and
; exactly as Tessera deletes them: in marked folders only, only the engine's finds, unfinished
; finds and summary and their thumbnails, and a folder only once that left nothing but its
; marker. Everything else stays, whatever its name: the cache folder may be one the user keeps
; files in, and the recovery folder may lie inside it. The cache folder itself goes only when
; nothing is left in it.
Function un.offer_to_delete_the_cache
    ReadRegStr $R0 HKCU "SOFTWARE\Tessera" "CachePath"
    ${If} $R0 == ""
    ${OrIfNot} ${FileExists} "$R0\*.*"
        Return
    ${EndIf}
    ; One backslash between the folder and the names below it, however the path was stored.
    ${Do}
        StrCpy $0 $R0 1 -1
        ${If} $0 != "\"
        ${OrIf} $R0 == ""
            ${Break}
        ${EndIf}
        StrCpy $R0 $R0 -1
    ${Loop}
    MessageBox MB_YESNO|MB_ICONQUESTION "$(cache_question)" /SD IDNO IDYES +2
    Return
    FindFirst $R2 $R3 "$R0\*tmp*"
    ${DoWhile} $R3 != ""
        Push $R3
        Call un.is_work_folder_name
        Pop $0
        ${If} $0 == 1
        ${AndIf} ${FileExists} "$R0\$R3\.tessera_work"
            StrCpy $R4 "$R0\$R3"
            Call un.empty_work_folder
        ${EndIf}
        FindNext $R2 $R3
    ${Loop}
    FindClose $R2
    RMDir "$R0"
FunctionEnd

; 1 for "tmp", "tmp.*" (letters in any case) and "~tmp." followed by digits; else 0.
Function un.is_work_folder_name
    Exch $0
    Push $1
    Push $2
    StrCpy $1 $0 3
    StrCpy $2 $0 1 3
    ${If} $2 == ""
    ${OrIf} $2 == "."
        StrCpy $2 1
    ${EndIf}
    ${If} $1 == "tmp"
    ${AndIf} $2 == 1
        StrCpy $0 1
    ${Else}
        StrCpy $1 $0 5
        StrCpy $2 $0 "" 5
        ${If} $1 S== "~tmp."
            Push $2
            Push 20
            Call un.count_digits
            Pop $1
            StrLen $2 $2
            ${If} $1 > 0
            ${AndIf} $1 == $2
                StrCpy $0 1
            ${Else}
                StrCpy $0 0
            ${EndIf}
        ${Else}
            StrCpy $0 0
        ${EndIf}
    ${EndIf}
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; Deletes the engine's files in the work folder $R4, then the folder once only its marker is left.
Function un.empty_work_folder
    StrCpy $R7 0  ; anything else left
    FindFirst $R5 $R6 "$R4\*"
    ${DoWhile} $R6 != ""
        ${If} $R6 != "."
        ${AndIf} $R6 != ".."
        ${AndIf} $R6 != ".tessera_work"
            Push $R6
            Call un.is_engine_file_name
            Pop $0
            ${If} $0 == 1
            ${AndIfNot} ${FileExists} "$R4\$R6\*.*"
                ClearErrors
                Delete "$R4\$R6"
                ${If} ${Errors}
                    StrCpy $R7 1
                ${EndIf}
            ${Else}
                StrCpy $R7 1
            ${EndIf}
        ${EndIf}
        FindNext $R5 $R6
    ${Loop}
    FindClose $R5
    ${If} $R7 == 0
        Delete "$R4\.tessera_work"
        RMDir "$R4"
    ${EndIf}
FunctionEnd

; The number of digits at the start of a text, looking at no more than a given count of
; characters. Stack: text, limit (on top); leaves the count.
Function un.count_digits
    Exch $1  ; limit
    Exch
    Exch $0  ; text
    Push $2
    Push $3
    Push $4
    StrCpy $2 0
    ${DoWhile} $2 < $1
        StrCpy $3 $0 1 $2
        ; A single character counts as 0 unless it is a digit; "0" is told apart by itself.
        IntOp $3 $3 + 0
        StrCpy $4 $0 1 $2
        ${If} $3 == 0
        ${AndIf} $4 != "0"
            ${Break}
        ${EndIf}
        IntOp $2 $2 + 1
    ${Loop}
    StrCpy $0 $2
    Pop $4
    Pop $3
    Pop $2
    Exch $0
    Exch
    Pop $1
FunctionEnd

; 1 when a text of 1 to 8 characters holds only ASCII letters and digits; else 0.
Function un.is_extension
    Exch $0
    Push $1
    Push $2
    Push $3
    StrLen $1 $0
    ${If} $1 < 1
    ${OrIf} $1 > 8
        StrCpy $0 0
    ${Else}
        StrCpy $2 0
        ${DoWhile} $2 < $1
            StrCpy $3 $0 1 $2
            Push $3
            Call un.is_letter_or_digit
            Pop $3
            ${If} $3 == 0
                ${Break}
            ${EndIf}
            IntOp $2 $2 + 1
        ${Loop}
        ${If} $2 == $1
            StrCpy $0 1
        ${Else}
            StrCpy $0 0
        ${EndIf}
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

Function un.is_letter_or_digit
    Exch $0
    Push $1
    Push $2
    Push $0
    Push 1
    Call un.count_digits
    Pop $1
    ${If} $1 == 1
        StrCpy $0 1
    ${Else}
        ; StrCmp ignores case, so the small letters stand for both.
        StrCpy $1 0
        ${Do}
            StrCpy $2 "abcdefghijklmnopqrstuvwxyz" 1 $1
            ${If} $2 == ""
                StrCpy $0 0
                ${Break}
            ${EndIf}
            ${If} $2 == $0
                StrCpy $0 1
                ${Break}
            ${EndIf}
            IntOp $1 $1 + 1
        ${Loop}
    ${EndIf}
    Pop $2
    Pop $1
    Exch $0
FunctionEnd

; 1 for the name of one of the engine's finds ("f", 7 to 20 digits, ".", an extension), the
; same behind a dot (unfinished), its thumbnail ("thumb_f" + digits + ".png"), the engine's
; summary (".ember_summary", or with "." and an extension behind it) or its index of the finds
; (".ember_index"); else 0.
Function un.is_engine_file_name
    Exch $0
    Push $1
    Push $2
    Push $3
    StrCpy $3 0
    StrCpy $1 $0 14
    StrCpy $2 $0 "" 14
    ${If} $0 S== ".ember_index"
        StrCpy $3 1
    ${ElseIf} $1 S== ".ember_summary"
        ${If} $2 == ""
            StrCpy $3 1
        ${Else}
            StrCpy $1 $2 1
            StrCpy $2 $2 "" 1
            ${If} $1 == "."
                Push $2
                Call un.is_extension
                Pop $3
            ${EndIf}
        ${EndIf}
    ${Else}
        StrCpy $1 $0 7
        StrCpy $2 $0 1
        ${If} $1 S== "thumb_f"
            StrCpy $2 $0 "" 7
            Push $2
            Push 21
            Call un.count_digits
            Pop $1
            StrCpy $2 $2 "" $1
            ${If} $1 >= 7
            ${AndIf} $1 <= 20
            ${AndIf} $2 S== ".png"
                StrCpy $3 1
            ${EndIf}
        ${Else}
            ${If} $2 == "."
                StrCpy $0 $0 "" 1
            ${EndIf}
            StrCpy $1 $0 1
            ${If} $1 S== "f"
                StrCpy $2 $0 "" 1
                Push $2
                Push 21
                Call un.count_digits
                Pop $1
                StrCpy $2 $2 "" $1
                ${If} $1 >= 7
                ${AndIf} $1 <= 20
                    StrCpy $1 $2 1
                    StrCpy $2 $2 "" 1
                    ${If} $1 == "."
                        Push $2
                        Call un.is_extension
                        Pop $3
                    ${EndIf}
                ${EndIf}
            ${EndIf}
        ${EndIf}
    ${EndIf}
    StrCpy $0 $3
    Pop $3
    Pop $2
    Pop $1
    Exch $0
FunctionEnd
