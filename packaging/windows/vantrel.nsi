; Vantrel's Windows installer, vantrel-<version>-setup.exe (NSIS 3).
;
; scripts/windows/installer.sh builds it from the unpacked release archive,
; so it installs exactly the archive's files, and passes in:
;
;   VANTREL_VERSION   the CMake project's version ("1.0")
;   VANTREL_VERSION4  the same with four numbers, for the file's version
;                     resource ("1.0.0.0")
;   VANTREL_FILES     the generated list of those files: the macros
;                     VANTREL_INSTALL_FILES and VANTREL_UNINSTALL_FILES
;   VANTREL_SIZE_KB   the files' size in KiB, for Add/Remove Programs
;   VANTREL_OUTFILE   where the installer goes
;
; What it does:
;
;   - installs for all users into "Program Files\Vantrel" (administrators),
;     or for the current user alone into "%LOCALAPPDATA%\Programs\Vantrel"
;     (needs no administrator rights); a page asks which, and so do the
;     switches /AllUsers and /CurrentUser of a silent install (/S). Without
;     them an administrator gets all users and anyone else the current user;
;   - puts Start menu entries for Vantrel, Vantrel demo and the help in a
;     folder "Vantrel" (of all users or of the user);
;   - registers the uninstaller with Windows (Add/Remove Programs) under the
;     key Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel of
;     HKLM or HKCU;
;   - optionally (off unless chosen; /AddToPath when silent) puts the
;     installation folder on the system's or the user's PATH, so that
;     vantrel-cli runs from any command prompt.
;
; The uninstaller deletes each file it installed by name, then the folders
; if they are empty, the shortcuts, the registry key and its PATH entry. It
; never deletes a folder with anything else in it: the operator's .dat files
; saved beside the program stay, and so does the folder holding them. The
; MAC allocation file (C:\DravonSetMACAddress\SetFullMACAddress.txt, and
; its lock file beside it) is not the installer's at all: neither install
; nor uninstall touches that folder.
;
; Exit codes: 0 done; 1 cancelled; 2 not installed (a bad command line, no
; administrator rights for /AllUsers, a file that could not be written);
; 3 installed, or uninstalled, but the PATH could not be changed (it is
; longer than this installer can edit without cutting it) and was left as
; it was.

!ifndef VANTREL_VERSION | VANTREL_VERSION4 | VANTREL_FILES | VANTREL_SIZE_KB | VANTREL_OUTFILE
  !error "vantrel.nsi: build it with scripts/windows/installer.sh, which defines VANTREL_VERSION, VANTREL_VERSION4, VANTREL_FILES, VANTREL_SIZE_KB and VANTREL_OUTFILE"
!endif

; Vantrel is a 64-bit program, so is its installer: it sees the 64-bit
; "Program Files" and registry, and runs where only 64-bit programs do.
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!define PRODUCT "Vantrel"
!define PUBLISHER "QUORVEX"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel"
!define USER_ENV_KEY "Environment"
!define SYSTEM_ENV_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define MENU_FOLDER "$SMPROGRAMS\Vantrel"
; The longest string NSIS holds, terminator left out.
!define /math STRLEN_LIMIT ${NSIS_MAX_STRLEN} - 1

Name "${PRODUCT}"
OutFile "${VANTREL_OUTFILE}"
BrandingText "${PRODUCT} ${VANTREL_VERSION}"

VIProductVersion "${VANTREL_VERSION4}"
VIAddVersionKey ProductName "${PRODUCT}"
VIAddVersionKey CompanyName "${PUBLISHER}"
VIAddVersionKey FileDescription "${PRODUCT} ${VANTREL_VERSION} Setup"
VIAddVersionKey FileVersion "${VANTREL_VERSION}"
VIAddVersionKey ProductVersion "${VANTREL_VERSION}"
; No copyright line of its own (makensis warns of that; the build treats
; warnings as errors).
!pragma warning disable 9100

; --- The install mode (all users or the current user) ------------------------
; MultiUser.nsh picks the mode from the account's rights, sets
; SetShellVarContext (so $SMPROGRAMS and SHCTX follow the mode) and the
; default folder, offers the page, and takes back the folder of an earlier
; installation from its uninstall key. The uninstaller finds its mode on its
; own (un.onInit), and the command line is read here (CheckCommandLine).
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_NOUNINSTALL
!define MULTIUSER_INSTALLMODE_INSTDIR "${PRODUCT}"
!define MULTIUSER_USE_PROGRAMFILES64
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINSTALL_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include Sections.nsh

!include "${VANTREL_FILES}"

Var WantMode     ; "AllUsers", "CurrentUser" or "" (from the command line)
Var WantPath     ; "1" when /AddToPath was given
Var DirFromCmd   ; the folder /D= gave, which the mode's default must not replace
Var EnvKey       ; the key of the PATH of this mode (below SHCTX)
Var PathValue    ; ReadPath: the PATH as read
Var PathState    ; ReadPath: "ok", "missing" or "unreadable"

; --- Pages -------------------------------------------------------------------
!define MUI_ABORTWARNING
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; --- Messages ------------------------------------------------------------------
; A message goes to a box when the installer shows its pages, and to the
; standard error when there is one (a silent install from a script that
; redirects it), so an unattended install that fails says why.
!macro VANTREL_SAY_FUNCTION UN
Function ${UN}Say ; the message on the stack
  Exch $0
  Push $1
  DetailPrint "$0"
  IfSilent +2
    MessageBox MB_OK|MB_ICONEXCLAMATION "$0"
  System::Call 'kernel32::GetStdHandle(i -12)p.r1'
  ${If} $1 P<> 0
  ${AndIf} $1 P<> -1
    FileWrite $1 "vantrel setup: $0$\r$\n"
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro VANTREL_SAY_FUNCTION ""
!insertmacro VANTREL_SAY_FUNCTION "un."

; Says MESSAGE and ends the installer with exit code 2, before it has
; changed anything.
!macro VANTREL_FAIL MESSAGE
  Push `${MESSAGE}`
  Call Say
  SetErrorLevel 2
  Quit
!macroend

; --- The PATH ------------------------------------------------------------------
; NSIS holds a string in at most NSIS_MAX_STRLEN (1024) characters, and
; ReadRegStr gives an empty string for a longer value. Writing back what it
; read would then cut the PATH short or empty it, losing every other
; program's entry, so a PATH that may not have been read whole is left
; alone (the installer says so and ends with exit code 3).
!macro VANTREL_PATH_FUNCTIONS UN

; Reads the PATH of the mode ($EnvKey below SHCTX) into $PathValue;
; $PathState says "ok", "missing" (no such value) or "unreadable" (too long
; to hold whole, or not a string).
Function ${UN}ReadPath
  Push $0
  Push $1
  ClearErrors
  ReadRegStr $PathValue SHCTX $EnvKey "Path"
  ${If} ${Errors}
    ; Missing, or there but not readable: look for the value by name.
    StrCpy $PathValue ""
    StrCpy $PathState "missing"
    StrCpy $0 0
    ${Do}
      ClearErrors
      EnumRegValue $1 SHCTX $EnvKey $0
      ${If} ${Errors}
      ${OrIf} $1 == ""
        ${Break}
      ${EndIf}
      ${If} $1 == "Path" ; StrCmp ignores case, as the registry does
        StrCpy $PathState "unreadable"
        ${Break}
      ${EndIf}
      IntOp $0 $0 + 1
    ${Loop}
  ${Else}
    StrCpy $PathState "ok"
    ; A value that fills the buffer may have been cut at its end.
    StrLen $0 $PathValue
    ${If} $0 >= ${STRLEN_LIMIT}
      StrCpy $PathState "unreadable"
    ${EndIf}
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Push the PATH, push a folder; pops the PATH without the entries that name
; that folder (ignoring case and a trailing backslash). Everything else,
; empty entries included, stays as it was and in its order.
Function ${UN}PathWithout
  Exch $R0 ; the folder
  Exch
  Exch $R1 ; the PATH
  Push $R2 ; the result
  Push $R3 ; the entry being read
  Push $R4 ; the character
  Push $R5 ; position
  Push $R6 ; length
  Push $R7 ; "1" until the first kept entry
  StrCpy $R2 ""
  StrCpy $R3 ""
  StrCpy $R5 0
  StrCpy $R7 "1"
  StrLen $R6 $R1
  ${Do}
    ${If} $R5 < $R6
      StrCpy $R4 $R1 1 $R5
    ${Else}
      StrCpy $R4 ";" ; the end closes the last entry
    ${EndIf}
    ${If} $R4 == ";"
      ${If} $R3 != $R0
      ${AndIf} $R3 != "$R0\"
        ${If} $R7 == "1"
          StrCpy $R2 $R3
          StrCpy $R7 ""
        ${Else}
          StrCpy $R2 "$R2;$R3"
        ${EndIf}
      ${EndIf}
      StrCpy $R3 ""
    ${Else}
      StrCpy $R3 "$R3$R4"
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${LoopUntil} $R5 > $R6
  StrCpy $R0 $R2
  Pop $R7
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; The PATH of the mode: the user's (HKCU\Environment) or the system's.
Function ${UN}SetEnvKey
  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $EnvKey "${SYSTEM_ENV_KEY}"
  ${Else}
    StrCpy $EnvKey "${USER_ENV_KEY}"
  ${EndIf}
FunctionEnd

; Tells running programs (Explorer, so new command prompts) that the
; environment changed.
Function ${UN}AnnouncePath
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

!macroend
!insertmacro VANTREL_PATH_FUNCTIONS ""
!insertmacro VANTREL_PATH_FUNCTIONS "un."

; --- The command line ------------------------------------------------------------
; Known options: /S (silent), /NCRC, /AllUsers, /CurrentUser, /AddToPath,
; and /D=FOLDER (last, which NSIS takes off the command line itself).
; Anything else is refused before anything is installed.
Function CheckCommandLine
  ${GetParameters} $R0
  StrCpy $R1 0  ; position
  StrLen $R3 $R0
  StrCpy $R2 "" ; the option being read
  ${Do}
    ${If} $R1 < $R3
      StrCpy $R4 $R0 1 $R1
    ${Else}
      StrCpy $R4 " "
    ${EndIf}
    ${If} $R4 == " "
    ${OrIf} $R4 == "$\t"
      ${If} $R2 != ""
        ${Select} $R2 ; ignoring case
          ${Case2} "/S" "/NCRC"
          ${Case} "/AllUsers"
            ${If} $WantMode == "CurrentUser"
              !insertmacro VANTREL_FAIL "/AllUsers and /CurrentUser exclude each other; give one."
            ${EndIf}
            StrCpy $WantMode "AllUsers"
          ${Case} "/CurrentUser"
            ${If} $WantMode == "AllUsers"
              !insertmacro VANTREL_FAIL "/AllUsers and /CurrentUser exclude each other; give one."
            ${EndIf}
            StrCpy $WantMode "CurrentUser"
          ${Case} "/AddToPath"
            StrCpy $WantPath "1"
          ${CaseElse}
            ; NSIS takes /D= only unquoted and last; a quoted one reaches here.
            StrCpy $R5 $R2 4
            ${If} $R5 == '"/D='
              !insertmacro VANTREL_FAIL 'The folder option must come last and without quotes, even when the folder has spaces: /D=C:\Some Folder\Vantrel'
            ${EndIf}
            !insertmacro VANTREL_FAIL 'Unknown option "$R2" on the command line. The options are /S (silent), /AllUsers, /CurrentUser, /AddToPath and /D=FOLDER (last).'
        ${EndSelect}
        StrCpy $R2 ""
      ${EndIf}
    ${Else}
      StrCpy $R2 "$R2$R4"
    ${EndIf}
    IntOp $R1 $R1 + 1
  ${LoopUntil} $R1 > $R3
FunctionEnd


; --- Installing ----------------------------------------------------------------

; An earlier installation in this mode is uninstalled first (silently, by its
; own uninstaller, which knows its own files), so files that this version
; no longer has do not stay behind where no uninstaller knows them.
Function RemovePrevious
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 != ""
  ${AndIf} ${FileExists} "$0\Uninstall.exe"
    DetailPrint "Removing the earlier installation in $0"
    ; _?= runs it in place and waits for it; it cannot delete itself then.
    ExecWait '"$0\Uninstall.exe" /S _?=$0' $1
    Delete "$0\Uninstall.exe"
    RMDir "$0"
  ${EndIf}
FunctionEnd

Section "Vantrel (required)" SecProgram
  SectionIn RO
  Call RemovePrevious

  ; The files of the release archive, one by one (the generated list).
  !insertmacro VANTREL_INSTALL_FILES
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Start menu entries (their icons are the targets'). Their working folder
  ; is the program's.
  SetOutPath "$INSTDIR"
  CreateDirectory "${MENU_FOLDER}"
  CreateShortcut "${MENU_FOLDER}\Vantrel.lnk" "$INSTDIR\vantrel.exe" "" "" 0 SW_SHOWNORMAL "" "Commission a QUORVEX unit"
  CreateShortcut "${MENU_FOLDER}\Vantrel demo.lnk" "$INSTDIR\vantrel-demo.exe" "" "" 0 SW_SHOWNORMAL "" "The Vantrel window with a simulated unit"
  CreateShortcut "${MENU_FOLDER}\Vantrel help.lnk" "$INSTDIR\vantrel.chm" "" "" 0 SW_SHOWNORMAL "" "The operator's help"

  ; Add/Remove Programs (HKLM or HKCU by the mode: SHCTX).
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VANTREL_VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vantrel.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" ${VANTREL_SIZE_KB}
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Add to PATH (vantrel-cli from any command prompt)" SecPath
  Call SetEnvKey
  Call ReadPath
  ${If} $PathState == "unreadable"
    Push "The PATH is too long for this installer to change safely; it was left as it was. Add $INSTDIR to it by hand to run vantrel-cli from any command prompt."
    Call Say
    SetErrorLevel 3
    Return
  ${EndIf}
  ; Already on it (an earlier installation, or by hand): nothing to add.
  Push $PathValue
  Push $INSTDIR
  Call PathWithout
  Pop $0
  StrLen $1 $0
  StrLen $2 $PathValue
  ${If} $1 != $2
    DetailPrint "$INSTDIR is on the PATH already"
    Return
  ${EndIf}
  ${If} $PathValue == ""
    StrCpy $0 "$INSTDIR"
  ${Else}
    StrCpy $0 $PathValue 1 -1
    ${If} $0 == ";"
      StrCpy $0 "$PathValue$INSTDIR"
    ${Else}
      StrCpy $0 "$PathValue;$INSTDIR"
    ${EndIf}
  ${EndIf}
  ; The new PATH must fit whole too.
  StrLen $1 $INSTDIR
  IntOp $1 $1 + $2
  IntOp $1 $1 + 1
  ${If} $1 >= ${STRLEN_LIMIT}
    Push "The PATH would become too long for this installer to write safely; it was left as it was. Add $INSTDIR to it by hand to run vantrel-cli from any command prompt."
    Call Say
    SetErrorLevel 3
    Return
  ${EndIf}
  ; REG_EXPAND_SZ, as Windows keeps it, so %VARIABLES% in it still work.
  WriteRegExpandStr SHCTX $EnvKey "Path" $0
  Call AnnouncePath
  DetailPrint "Added $INSTDIR to the PATH"
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "Vantrel, Vantrel demo, vantrel-cli and the help, with Start menu entries."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "Puts the installation folder on the PATH (yours, or the system's when installing for all users), so that vantrel-cli runs from any command prompt. Removed again on uninstall."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; After the sections: it selects one by its index.
Function .onInit
  ; /D= has set $INSTDIR already (there is no InstallDir); keep it.
  StrCpy $DirFromCmd $INSTDIR
  Call CheckCommandLine
  !insertmacro MULTIUSER_INIT
  ${If} $WantMode == "AllUsers"
    ${If} $MultiUser.Privileges != "Admin"
    ${AndIf} $MultiUser.Privileges != "Power"
      !insertmacro VANTREL_FAIL "Installing for all users (/AllUsers) needs administrator rights; run the installer as an administrator, or install for yourself alone with /CurrentUser."
    ${EndIf}
    Call MultiUser.InstallMode.AllUsers
  ${ElseIf} $WantMode == "CurrentUser"
    Call MultiUser.InstallMode.CurrentUser
  ${EndIf}
  ${If} $DirFromCmd != ""
    StrCpy $INSTDIR $DirFromCmd
  ${EndIf}
  ${If} $WantPath == "1"
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; --- Uninstalling --------------------------------------------------------------

; The uninstaller's mode is that of the installation it belongs to: the one
; whose uninstall key names its folder ($INSTDIR is the folder it lies in).
; A folder no key names (the keys removed by hand) is taken by where it is.
Function un.onInit
  UserInfo::GetAccountType
  Pop $MultiUser.Privileges
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  StrLen $2 "$PROGRAMFILES64\"
  StrCpy $2 $INSTDIR $2
  ${If} $0 == $INSTDIR
    StrCpy $MultiUser.InstallMode "CurrentUser"
  ${ElseIf} $1 == $INSTDIR
  ${OrIf} $2 == "$PROGRAMFILES64\"
    StrCpy $MultiUser.InstallMode "AllUsers"
  ${Else}
    StrCpy $MultiUser.InstallMode "CurrentUser"
  ${EndIf}
  ${If} $MultiUser.InstallMode == "AllUsers"
    ${If} $MultiUser.Privileges != "Admin"
    ${AndIf} $MultiUser.Privileges != "Power"
      Push "Vantrel in $INSTDIR was installed for all users; uninstalling it needs administrator rights."
      Call un.Say
      SetErrorLevel 2
      Quit
    ${EndIf}
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "Uninstall"
  ; The installed files by name, then their folders if empty. Anything
  ; else in the folder (the operator's files) stays, and the folder with it.
  !insertmacro VANTREL_UNINSTALL_FILES
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "${MENU_FOLDER}\Vantrel.lnk"
  Delete "${MENU_FOLDER}\Vantrel demo.lnk"
  Delete "${MENU_FOLDER}\Vantrel help.lnk"
  RMDir "${MENU_FOLDER}"

  ; The PATH entry, if it has one (only entries naming this folder go).
  Call un.SetEnvKey
  Call un.ReadPath
  ${If} $PathState == "unreadable"
    Push "The PATH is too long for this uninstaller to change safely; it was left as it was. Remove $INSTDIR from it by hand if it is there."
    Call un.Say
    SetErrorLevel 3
  ${ElseIf} $PathState == "ok"
    Push $PathValue
    Push $INSTDIR
    Call un.PathWithout
    Pop $0
    ${If} $0 != $PathValue
      ${If} $0 == ""
      ${AndIf} $MultiUser.InstallMode == "CurrentUser"
        ; The installer made the user's PATH; leave no empty one behind.
        DeleteRegValue SHCTX $EnvKey "Path"
      ${Else}
        WriteRegExpandStr SHCTX $EnvKey "Path" $0
      ${EndIf}
      Call un.AnnouncePath
    ${EndIf}
  ${EndIf}

  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
