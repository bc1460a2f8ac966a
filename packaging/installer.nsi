; Voltwren setup: puts the program on a notebook, machine-wide, and takes it off again.
; Built by the "installer" target:
;   makensis -DVERSION=1.0.0 -DVERSION_QUAD=1.0.0.0 -DOUT_FILE=... -DVOLTWREN_EXE=... -DSETUP_ACTIONS=... -DEVENT_MESSAGES=...
;            -DLOG_FOLDER=... -DLOG_LIBRARY=... -DLOG_PROPERTIES=... -DNOTIFICATION_ICON=... -DPRODUCT_ICON=...
;            [-DSIGN_SCRIPT=...] installer.nsi
; Both setup and uninstaller run silently with /S.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestDPIAware true

!ifndef VERSION | VERSION_QUAD | OUT_FILE | VOLTWREN_EXE | NOTIFICATION_ICON | SETUP_ACTIONS | LOG_FOLDER | EVENT_MESSAGES
  !error "VERSION, VERSION_QUAD, OUT_FILE, VOLTWREN_EXE, NOTIFICATION_ICON, SETUP_ACTIONS, LOG_FOLDER and EVENT_MESSAGES must be defined"
!endif
; The uninstaller is made inside makensis: it is signed there, before it is packed, and the
; setup after it. The script signs only when the build has a certificate.
!ifdef SIGN_SCRIPT
  !uninstfinalize '"${SIGN_SCRIPT}" "%1"' = 0
  !finalize '"${SIGN_SCRIPT}" "%1"' = 0
!endif
; The log back end ships beside the program; a build without it makes an incomplete setup, said loudly.
!ifndef LOG_LIBRARY
  !warning "LOG_LIBRARY not defined: this setup installs no Log4cxxWrapper.dll"
!endif
!ifndef LOG_PROPERTIES
  !warning "LOG_PROPERTIES not defined: this setup installs no log4cxx.properties"
!endif

!include MUI2.nsh
!include x64.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define PRODUCT_NAME "Tessaly Voltwren"
!define PUBLISHER "Tessaly"
; The program reads its version from this entry, in the installer's (32-bit) registry view.
!define PRODUCT_KEY "{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}"
!define UNINSTALL_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT_KEY}"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Voltwren"
; The program's event source in the Application log. HKLM\SYSTEM is one view for both word sizes.
!define EVENT_SOURCE_KEY "SYSTEM\CurrentControlSet\Services\EventLog\Application\Voltwren"
; The Windows Installer package of the same product writes its version here.
!define DEPENDENCY_KEY "SOFTWARE\Classes\Installer\Dependencies\${PRODUCT_KEY}"
; What the program registers for its toasts under the current user (identifier and activator class).
!define AUMID_KEY "Software\Classes\AppUserModelId\Tessaly.VoltwrenPowerBeacon"
!define ACTIVATOR_KEY "Software\Classes\CLSID\{90015346-0000-0000-0000-000000000000}"
; The main window and its File, Exit command (105), with "asked by a setup" (0x5602) in the
; high word, as base/ExitRequest.h defines it: the program's event log then names the setup.
!define WINDOW_CLASS "VOLTWREN"
!define EXIT_COMMAND 0x56020069
!define SYNCHRONIZE 0x00100000
; ERROR_ELEVATION_REQUIRED, ERROR_INSTALL_PLATFORM_UNSUPPORTED, ERROR_INSTALL_FAILURE,
; ERROR_PRODUCT_VERSION ("another version of this product is already installed")
!define EXIT_NOT_ELEVATED 740
!define EXIT_NOT_X64 1633
!define EXIT_FAILED 1603
!define EXIT_OTHER_PACKAGE 1638

Name "${PRODUCT_NAME}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES64\Tessaly\Voltwren"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey "ProductName" "${PRODUCT_NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT_NAME} Setup"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!ifdef PRODUCT_ICON
  !define MUI_ICON "${PRODUCT_ICON}"
  !define MUI_UNICON "${PRODUCT_ICON}"
!endif
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Voltwren now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartForTheUser
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; A running Voltwren holds its files: ask it to end through its own Exit command and
; wait for the process, as a user choosing File, Exit would.
!macro DEFINE_END_RUNNING_INSTANCE PREFIX
Function ${PREFIX}EndRunningInstance
  Push $0
  Push $1
  Push $2
  StrCpy $2 0
  ${Do}
    FindWindow $0 "${WINDOW_CLASS}"
    ${If} $0 = 0
      ${Break}
    ${EndIf}
    ${If} $2 >= 3
      DetailPrint "Voltwren does not end; its files may stay until the next restart."
      ${Break}
    ${EndIf}
    IntOp $2 $2 + 1
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r1'
    DetailPrint "Asking Voltwren to end ..."
    SendMessage $0 ${WM_COMMAND} ${EXIT_COMMAND} 0 /TIMEOUT=5000
    ${If} $1 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r1, i 15000) i'
      System::Call 'kernel32::CloseHandle(p r1)'
    ${Else}
      Sleep 2000
    ${EndIf}
  ${Loop}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro DEFINE_END_RUNNING_INSTANCE ""
!insertmacro DEFINE_END_RUNNING_INSTANCE "un."

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "${PRODUCT_NAME} needs 64-bit Windows." /SD IDOK
    SetErrorLevel ${EXIT_NOT_X64}
    Quit
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "${PRODUCT_NAME} is installed for all users: please run the setup as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ELEVATED}
    Quit
  ${EndIf}
  ; One product, one installer: the Windows Installer package must be removed first.
  SetRegView 64
  ReadRegStr $0 HKLM "${DEPENDENCY_KEY}" "Version"
  ${If} $0 != ""
    MessageBox MB_ICONSTOP "${PRODUCT_NAME} $0 is installed from its Windows Installer package (Voltwren-$0-x64.msi). Remove that installation first in Settings, Apps, then run this setup again." /SD IDOK
    SetErrorLevel ${EXIT_OTHER_PACKAGE}
    Quit
  ${EndIf}
  ; An upgrade goes where the installed version is, unless /D chose another folder.
  SetRegView 32
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  SetRegView 64
  ${If} $0 != ""
  ${AndIf} $INSTDIR == "$PROGRAMFILES64\Tessaly\Voltwren"
    StrCpy $INSTDIR $0
  ${EndIf}
FunctionEnd

; Made elevated, owned by Administrators, by the same code as the Windows Installer
; package's (VoltwrenSetup.dll), with C:\ProgramData\Tessaly above it, and before any file
; is copied: a link there could otherwise hand the log folder's rights to the program folder.
; Each is judged through a handle on the folder itself and changed only on itself: Tessaly
; is never removed (taken when another owner has it); a log folder that Administrators or SYSTEM
; own (an upgrade) is kept, its links removed and its rights set again; a link or a log folder
; of another owner is removed without following links and made afresh (taken in place while a
; program holds it open); anything else stops the setup. The DLL writes one line for each folder.
Function CreateLogFolder
  InitPluginsDir
  File "/oname=$PLUGINSDIR\VoltwrenSetup.dll" "${SETUP_ACTIONS}"
  System::Call 'kernel32::LoadLibraryW(w "$PLUGINSDIR\VoltwrenSetup.dll") p .r1'
  StrCpy $0 "no library"
  StrCpy $3 ""
  StrCpy $4 ""
  ${If} $1 P<> 0
    System::Call 'kernel32::GetProcAddress(p r1, m "MakeLogFolderW") p .r2'
    ${If} $2 P<> 0
      System::Call '::$2(w "${LOG_FOLDER}", w .r3, w .r4, i ${NSIS_MAX_STRLEN}) i .r0'
    ${EndIf}
    System::Call 'kernel32::FreeLibrary(p r1)'
  ${EndIf}
  ${If} $3 != ""
    DetailPrint "$3"
  ${EndIf}
  ${If} $4 != ""
    DetailPrint "$4"
  ${EndIf}
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "The log folder ${LOG_FOLDER} cannot be made with its rights (error $0)." /SD IDOK
    SetErrorLevel ${EXIT_FAILED}
    Abort
  ${EndIf}
FunctionEnd

; The setup runs elevated; the program must run as the user: let the shell start it.
Function StartForTheUser
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Voltwren.exe"'
FunctionEnd

Section "Voltwren" SecProgram
  SectionIn RO
  Call EndRunningInstance
  Call CreateLogFolder

  ; Only our own files: the notebook maker's "ITE inboxI2C Flash" folder beside them is not ours.
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=Voltwren.exe" "${VOLTWREN_EXE}"
  !ifdef LOG_LIBRARY
    File "/oname=Log4cxxWrapper.dll" "${LOG_LIBRARY}"
  !endif
  !ifdef LOG_PROPERTIES
    File "/oname=log4cxx.properties" "${LOG_PROPERTIES}"
  !endif
  File "/oname=notification_icon.png" "${NOTIFICATION_ICON}"
  File "/oname=VoltwrenEvents.dll" "${EVENT_MESSAGES}"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  SetRegView 64
  WriteRegStr HKLM "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Voltwren.exe"'
  ; Event Viewer takes the messages of the program's events from here (types: error, warning, information).
  WriteRegExpandStr HKLM "${EVENT_SOURCE_KEY}" "EventMessageFile" "$INSTDIR\VoltwrenEvents.dll"
  WriteRegDWORD HKLM "${EVENT_SOURCE_KEY}" "TypesSupported" 7

  ${GetSize} "$INSTDIR" "/M=*.* /S=0K /G=0" $0 $1 $2
  SetRegView 32
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Voltwren.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SetRegView 64
SectionEnd

; Voltwren runs hidden: the Start menu of every user holds the way to end it.
!define STOP_SHORTCUT "$SMPROGRAMS\Stop Voltwren.lnk"
Section "Start menu" SecStartMenu
  SectionIn RO
  SetShellVarContext all
  CreateShortCut "${STOP_SHORTCUT}" "$INSTDIR\Voltwren.exe" "-exit" "$INSTDIR\Voltwren.exe" 0 \
    SW_SHOWNORMAL "" "Ends the running Voltwren, as File, Exit in its window does"
  SetShellVarContext current
SectionEnd

Section "un.Start menu"
  SetShellVarContext all
  Delete "${STOP_SHORTCUT}"
  SetShellVarContext current
SectionEnd

Function un.onInit
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP "Please remove ${PRODUCT_NAME} as an administrator." /SD IDOK
    SetErrorLevel ${EXIT_NOT_ELEVATED}
    Quit
  ${EndIf}
FunctionEnd

; The uninstall entry goes last: an uninstall cut short can be run again from it.
; The log folder stays: it holds the logs of every user.
Section "Uninstall"
  Call un.EndRunningInstance

  ; A program that would not end keeps its files until the next restart.
  Delete /REBOOTOK "$INSTDIR\Voltwren.exe"
  Delete /REBOOTOK "$INSTDIR\Log4cxxWrapper.dll"
  Delete "$INSTDIR\log4cxx.properties"
  Delete "$INSTDIR\notification_icon.png"
  ; Event Viewer may hold it open.
  Delete /REBOOTOK "$INSTDIR\VoltwrenEvents.dll"

  SetRegView 64
  DeleteRegValue HKLM "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKLM "${EVENT_SOURCE_KEY}"
  DeleteRegKey HKCU "${AUMID_KEY}"
  DeleteRegKey HKCU "${ACTIVATOR_KEY}"

  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: the charger tool's folder keeps ours in place.
  RMDir "$INSTDIR"
  ${GetParent} "$INSTDIR" $0
  ${If} $0 == "$PROGRAMFILES64\Tessaly"
    RMDir "$0"
  ${EndIf}

  SetRegView 32
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  SetRegView 64
SectionEnd
