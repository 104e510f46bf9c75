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

; The cache folder holds what earlier searches found: the work folders whose names start with
; "tmp", as Tessera itself deletes them before each search. They go only when the user says so,
; never when the recovery folder lies inside one of them, and the cache folder itself only when
; nothing else is left in it.
Function un.offer_to_delete_the_cache
    ReadRegStr $R0 HKCU "SOFTWARE\Tessera" "CachePath"
    ReadRegStr $R1 HKCU "SOFTWARE\Tessera" "RecoveryPath"
    ${If} $R0 == ""
    ${OrIfNot} ${FileExists} "$R0\*.*"
        Return
    ${EndIf}
    StrLen $0 "$R0\tmp"
    StrCpy $1 $R1 $0
    ${If} $1 == "$R0\tmp"
        Return
    ${EndIf}
    MessageBox MB_YESNO|MB_ICONQUESTION "$(cache_question)" /SD IDNO IDYES +2
    Return
    FindFirst $2 $3 "$R0\tmp*"
    ${DoWhile} $3 != ""
        ${If} ${FileExists} "$R0\$3\*.*"
            RMDir /r "$R0\$3"
        ${Else}
            Delete "$R0\$3"
        ${EndIf}
        FindNext $2 $3
    ${Loop}
    FindClose $2
    RMDir "$R0"
FunctionEnd
