; The Windows installer of transdae: puts transdae.exe and transdae-cli.exe
; into the timetabling product's own folder (the tool writes its result
; into Dolvarin.ini beside its executable, so it must live there) with an
; uninstaller of its own. None of the product's files is written, moved or
; removed; files of the same names that this installer did not put there
; are never replaced.
;
; makensis -DSOURCE_DIR=<folder with both executables> -DOUT_FILE=<installer>
;          -DVERSION=<x.y> installer/transdae.nsi
;
; Silent use: transdae-instalar.exe /S /D=C:\Carpeta\del\producto
;             desinstalar-transdae.exe /S

; A 64-bit installer, as the tool it installs (and Wine without 32-bit
; support runs it).
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!ifndef VERSION
  !define VERSION "1.1"
!endif
!ifndef SOURCE_DIR
  !error "SOURCE_DIR (the folder holding transdae.exe and transdae-cli.exe) is needed"
!endif
!ifndef OUT_FILE
  !define OUT_FILE "transdae-instalar.exe"
!endif

!define PRODUCT "transdae"
!define UNINSTALLER "desinstalar-transdae.exe"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\transdae"

!include "MUI2.nsh"
!include "LogicLib.nsh"

Name "transdae ${VERSION}"
OutFile "${OUT_FILE}"
; No folder is proposed: the school names the product's own.
InstallDir ""
ShowInstDetails show
ShowUninstDetails show

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Instalación de transdae ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "transdae pasa los datos del centro entre el programa de horarios Dolvarin y DAE.$\r$\n$\r$\nSe instala en la misma carpeta que el programa de horarios, que lo abre desde sus menús y lee el resultado en Dolvarin.ini. No se modifica ningún archivo del programa de horarios.$\r$\n$\r$\nPulse Siguiente para continuar."
!insertmacro MUI_PAGE_WELCOME

!define MUI_DIRECTORYPAGE_TEXT_TOP "Elija la carpeta donde está instalado el programa de horarios Dolvarin (la que contiene Dolvarin.ini). transdae.exe y transdae-cli.exe se copiarán en ella."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Carpeta del programa de horarios"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Spanish"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_SPANISH} "ProductName" "transdae"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileDescription" "Instalador de transdae"
VIAddVersionKey /LANG=${LANG_SPANISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_SPANISH} "LegalCopyright" "transdae"

; The folder must be one that exists: the product's.
Function .onVerifyInstDir
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    Abort
  ${EndIf}
FunctionEnd

; A file of one of the tool's names that this installer did not put there
; (no uninstaller of ours beside it) belongs to someone else: nothing is
; installed.
!macro RefuseForeign NAME
  ${If} ${FileExists} "$INSTDIR\${NAME}"
  ${AndIfNot} ${FileExists} "$INSTDIR\${UNINSTALLER}"
    MessageBox MB_OK|MB_ICONSTOP "Ya existe $INSTDIR\${NAME} y no lo instaló este programa. No se ha instalado nada." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
!macroend

Section "transdae" SecMain
  SectionIn RO
  ; A whole path (C:\... or \\servidor\...) of a folder that exists;
  ; never a folder guessed from the current one.
  StrCpy $0 $INSTDIR 1 1
  StrCpy $1 $INSTDIR 2
  ${If} $0 != ":"
  ${AndIf} $1 != "\\"
    MessageBox MB_OK|MB_ICONSTOP "Indique la carpeta del programa de horarios con su ruta completa (por ejemplo /D=C:\Dolvarin)." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ${IfNot} ${FileExists} "$INSTDIR\*.*"
    MessageBox MB_OK|MB_ICONSTOP "No existe la carpeta $INSTDIR. Indique la carpeta del programa de horarios." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  !insertmacro RefuseForeign "transdae.exe"
  !insertmacro RefuseForeign "transdae-cli.exe"
  !insertmacro RefuseForeign "${UNINSTALLER}"

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${SOURCE_DIR}\transdae.exe"
  File "${SOURCE_DIR}\transdae-cli.exe"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  SetShellVarContext all
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "transdae ${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Only the three files this installer wrote go; the folder is the
; product's and stays, whatever else it holds.
Section "Uninstall"
  Delete "$INSTDIR\transdae.exe"
  Delete "$INSTDIR\transdae-cli.exe"
  Delete "$INSTDIR\${UNINSTALLER}"
  SetShellVarContext all
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
