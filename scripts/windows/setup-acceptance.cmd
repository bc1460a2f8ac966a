@echo off
rem setup-acceptance.cmd [MSI [BIN]]
rem What Wine cannot show of the setups' rights, checked with the Windows Installer package on a
rem test machine without Voltwren and without C:\ProgramData\Tessaly, from a Command Prompt started
rem as an administrator. It makes Tessaly yours, denying Administrators (and so SYSTEM) its rights,
rem with a folder OtherProduct in it that inherits your full control; installs the package; plants
rem a hard link to an outside file in the log folder; repairs the package; makes Tessaly
rem LocalService's and the log folder yours, with a read-only folder in it, and repairs again;
rem replays a junction swapped for Tessaly during the folder step (vwn-setup-swap.exe); then
rem removes the package, Tessaly and its own files. One PASS or FAIL line per check. Exit code 0
rem when every check passes, 1 when one fails, 2 when it cannot run here.
rem MSI: the package, by default build\win64\packaging\Voltwren-*-x64.msi of this checkout.
rem BIN: the build's bin folder, which holds vwn-setup-swap.exe, by default build\win64\bin.
setlocal EnableExtensions DisableDelayedExpansion

set "msi=%~1"
if not defined msi for %%m in ("%~dp0..\..\build\win64\packaging\Voltwren-*-x64.msi") do set "msi=%%~fm"
if not exist "%msi%" (
  echo acceptance: no package "%msi%": build it first, or name it
  exit /b 2
)
set "bin=%~2"
if not defined bin set "bin=%~dp0..\..\build\win64\bin"
set "swapper=%bin%\vwn-setup-swap.exe"
if not exist "%swapper%" (
  echo acceptance: no "%swapper%": build the tests first, or name the bin folder
  exit /b 2
)
fltmc >nul 2>&1
if errorlevel 1 (
  echo acceptance: run this from a Command Prompt started as an administrator
  exit /b 2
)
rem The package's log folder, as it was built.
set "tessaly=C:\ProgramData\Tessaly"
set "logfolder=%tessaly%\Voltwren"
set "sibling=%tessaly%\OtherProduct"
if exist "%tessaly%" (
  echo acceptance: "%tessaly%" exists: run this on a test machine without it
  exit /b 2
)
reg query "HKLM\SOFTWARE\Classes\Installer\Dependencies\{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}" >nul 2>&1
if not errorlevel 1 (
  echo acceptance: Voltwren is installed: remove it first in Settings, Apps
  exit /b 2
)
set "work=%TEMP%\voltwren-acceptance-%RANDOM%%RANDOM%"
set "failed="
echo acceptance: package "%msi%", files in "%work%"
mkdir "%work%" "%sibling%"
> "%sibling%\settings.ini" echo another product's settings
> "%work%\outside.txt" echo a file outside the log folder
rem Each step on its own, the deny last: Administrators may not read or change Tessaly's rights.
takeown /f "%tessaly%" >nul
if errorlevel 1 goto :not_planted
icacls "%tessaly%" /inheritance:r /grant:r "%USERDOMAIN%\%USERNAME%:(OI)(CI)F" >nul
if errorlevel 1 goto :not_planted
icacls "%tessaly%" /deny "*S-1-5-32-544:(RC,WDAC,WO,DE)" >nul
if errorlevel 1 goto :not_planted
icacls "%sibling%" > "%work%\sibling-before.txt"
icacls "%work%\outside.txt" > "%work%\outside-before.txt"

start "" /wait msiexec.exe /i "%msi%" /qn /norestart /l*v "%work%\install.log"
call :exit_code %errorlevel%
call :check %code% "the package installs over a Tessaly of another owner that shuts Administrators out"
type "%work%\install.log" | find "Took %tessaly% from another owner" >nul
call :check %errorlevel% "the install takes Tessaly from its owner"
call :unchanged sibling "%sibling%" "OtherProduct keeps its rights after the install"

mklink /h "%logfolder%\planted.log" "%work%\outside.txt" >nul
if errorlevel 1 goto :not_planted
start "" /wait msiexec.exe /i "%msi%" REINSTALL=ALL REINSTALLMODE=vomus /qn /norestart /l*v "%work%\repair.log"
call :exit_code %errorlevel%
call :check %code% "the package repairs"
type "%work%\repair.log" | find "removed links from it: planted.log" >nul
set "code=%errorlevel%"
if exist "%logfolder%\planted.log" set "code=1"
call :check %code% "the repair removes the hard link planted in the log folder"
call :unchanged outside "%work%\outside.txt" "the file outside the log folder keeps its rights"
call :unchanged sibling "%sibling%" "OtherProduct keeps its rights after the repair"

rem A service of the maker made Tessaly: it stays as it is. A user made the log folder and put a
rem read-only folder in it: it is replaced all the same.
icacls "%tessaly%" /setowner "*S-1-5-19" >nul
if errorlevel 1 goto :not_planted
icacls "%logfolder%" /setowner "%USERDOMAIN%\%USERNAME%" >nul
if errorlevel 1 goto :not_planted
mkdir "%logfolder%\old"
> "%logfolder%\old\old.log" echo an earlier log
attrib +r "%logfolder%\old\old.log"
attrib +r "%logfolder%\old"
start "" /wait msiexec.exe /i "%msi%" REINSTALL=ALL REINSTALLMODE=vomus /qn /norestart /l*v "%work%\repair2.log"
call :exit_code %errorlevel%
call :check %code% "the package repairs over a service's Tessaly and a user's log folder"
type "%work%\repair2.log" | find "Kept %tessaly% as it is" >nul
call :check %errorlevel% "a Tessaly that LocalService owns is kept as it is"
type "%work%\repair2.log" | find "Replaced %logfolder%: a folder of another owner was there" >nul
set "code=%errorlevel%"
if exist "%logfolder%\old" set "code=1"
call :check %code% "a log folder of the user with a read-only folder in it is replaced"

rem A junction put in Tessaly's place between its judgement and the log folder's step: the held
rem Tessaly cannot be moved, and nothing is made where the junction points.
mkdir "%work%\swap" "%work%\target"
mklink /j "%work%\junction" "%work%\target" >nul
if errorlevel 1 goto :not_planted
"%swapper%" "%work%\swap\Tessaly\Voltwren" "%work%\junction" > "%work%\swap.log"
set "code=%errorlevel%"
if exist "%work%\target\Voltwren" set "code=1"
call :check %code% "a junction swapped for Tessaly during the folder step finds it held, and nothing is made through it"
goto :cleanup

:not_planted
echo acceptance: FAIL: could not plant the folders and the link to check with
set "failed=1"

:cleanup
start "" /wait msiexec.exe /x "%msi%" /qn /norestart
rem The package leaves the log folder, and Tessaly: this script made them, so it removes them.
if exist "%tessaly%" icacls "%tessaly%" /reset /t /c /q >nul 2>&1
if exist "%tessaly%" rd /s /q "%tessaly%"
if exist "%tessaly%" echo acceptance: could not remove "%tessaly%"
if defined failed for %%l in (install repair repair2 swap) do if exist "%work%\%%l.log" copy /y "%work%\%%l.log" "%TEMP%\voltwren-acceptance-%%l.log" >nul
if defined failed echo acceptance: the installer's logs are kept as "%TEMP%\voltwren-acceptance-*.log"
rd /s /q "%work%" 2>nul
if defined failed exit /b 1
exit /b 0

rem :exit_code CODE: sets code to 0 for msiexec's successes, 0 and 3010 (a restart is due).
:exit_code
set "code=%~1"
if "%code%"=="3010" set "code=0"
exit /b 0

rem :check CODE TEXT: PASS when CODE is 0, otherwise FAIL, with TEXT.
:check
if not "%~1"=="0" goto :check_failed
echo PASS: %~2
exit /b 0
:check_failed
echo FAIL: %~2
set "failed=1"
exit /b 0

rem :unchanged NAME PATH TEXT: the rights icacls shows for PATH are those saved in NAME-before.txt.
:unchanged
icacls "%~2" > "%work%\%~1-after.txt"
fc /b "%work%\%~1-before.txt" "%work%\%~1-after.txt" >nul
call :check %errorlevel% "%~3"
exit /b 0
