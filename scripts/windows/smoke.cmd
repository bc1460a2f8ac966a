@echo off
rem smoke.cmd [BIN]
rem A short check of a Voltwren build on a real Windows 10/11, under your own
rem account and without installing anything. It stages the program with the
rem charger tool simulator in a temporary folder, plays a short charger story
rem (no charger, USB PD, unplugged, Quick Charge), ends Voltwren through File,
rem Exit, checks the log and that nothing of the program keeps running, then
rem lets the tool hang until Voltwren gives up by itself and checks that again
rem (no cmd.exe of Voltwren, no tool is left), prints
rem PASS or FAIL with the reason, and removes the folder and the per-user
rem registry entries of the toast identity again. Two toasts pop up meanwhile.
rem
rem BIN: the build's bin folder, default build\win64\bin of this checkout. It
rem holds Voltwren.exe, Log4cxxWrapper.dll, notification_icon.png, ITERHPGen.exe,
rem vwn-user.exe and vwn-smoke.exe. Exit code 0 for PASS, 1 for FAIL.
setlocal EnableExtensions DisableDelayedExpansion

rem Inside ( ) blocks every expanded path stays in quotes: a ")" in a folder name would end the block.
set "bin=%~1"
if not defined bin set "bin=%~dp0..\..\build\win64\bin"
for %%i in ("%bin%") do set "bin=%%~fi"
set "missing="
for %%f in (Voltwren.exe Log4cxxWrapper.dll notification_icon.png ITERHPGen.exe vwn-user.exe vwn-smoke.exe) do (
  if not exist "%bin%\%%f" set "missing=%%f"
)
if defined missing (
  echo FAIL: "%bin%\%missing%" is missing: build first, or name the build's bin folder
  exit /b 1
)
set "smoke=%bin%\vwn-smoke.exe"
set "identity=HKCU\Software\Classes\AppUserModelId\Tessaly.VoltwrenPowerBeacon"
set "activator=HKCU\Software\Classes\CLSID\{90015346-0000-0000-0000-000000000000}"
set "failure="

rem Another Voltwren (an installed one) holds the single-instance mutex: ours would only be refused.
"%smoke%" pid-of Voltwren.exe >nul
if not errorlevel 1 (
  echo FAIL: Voltwren.exe is already running: end it with "Voltwren.exe -exit" and run this again
  exit /b 1
)

set "work=%TEMP%\voltwren-smoke-%RANDOM%%RANDOM%"
set "program=%work%\program"
set "tool=%work%\program\ITE inboxI2C Flash"
set "values=%work%\values"
set "log=%work%\program\Voltwren.log"
echo smoke: staging Voltwren from "%bin%" in "%work%"
rem Wine's cmd runs both sides of || and &&: only errorlevel and exist tests here.
mkdir "%tool%" "%values%"
if not exist "%values%\" (
  call :fail "cannot make the folder"
  goto :cleanup
)
for %%f in (Voltwren.exe Log4cxxWrapper.dll notification_icon.png) do copy /y "%bin%\%%f" "%program%\" >nul
copy /y "%bin%\ITERHPGen.exe" "%tool%\" >nul
rem The value file's folder with its trailing backslash and no line break, as UTF-8;
rem "\\" before the closing quote hands one backslash to the program.
"%smoke%" write "%tool%\OutputPath.ini" "%values%\\"
rem Redirections lead each line: Wine's cmd loses the output of a redirected ( ) block.
set "story=%tool%\sim-scenario.txt"
> "%story%" echo status 0 for 3 s
>> "%story%" echo status 2 for 5 s
>> "%story%" echo status 0 for 3 s
>> "%story%" echo status 1 for 5 s
>> "%story%" echo status 0
rem The log goes beside the program (a relative name is taken from this file's folder).
set "properties=%program%\log4cxx.properties"
> "%properties%" echo log4j.rootLogger=DEBUG, file
>> "%properties%" echo log4j.appender.file=org.apache.log4j.RollingFileAppender
>> "%properties%" echo log4j.appender.file.File=Voltwren.log
>> "%properties%" echo log4j.appender.file.MaxFileSize=1MB
>> "%properties%" echo log4j.appender.file.MaxBackupIndex=1
>> "%properties%" echo log4j.appender.file.Encoding=UTF-8
>> "%properties%" echo log4j.appender.file.layout=org.apache.log4j.PatternLayout
>> "%properties%" echo log4j.appender.file.layout.ConversionPattern=%%d{ISO8601} [%%t] %%-5p %%c - %%m%%n

echo smoke: starting Voltwren; the charger story takes about 20 s
start "" /d "%program%" "%program%\Voltwren.exe"
"%smoke%" pid-of "%program%\Voltwren.exe" 15000 > "%work%\voltwren.pid"
if errorlevel 1 (
  call :fail "Voltwren did not start"
  goto :cleanup
)
set /p started=<"%work%\voltwren.pid"

rem The story ends unplugged: the second change to 0 comes after both toasts.
"%smoke%" expect "%log%" 2 "Change of charging type detected (0)." 90000
if errorlevel 1 call :fail "the charger story did not reach its end in the log within 90 s"

echo smoke: File, Exit
"%bin%\vwn-user.exe" exit 15000 > "%work%\exit.txt" 2>&1
set "code=%errorlevel%"
type "%work%\exit.txt"
if not "%code%"=="0" call :fail "Voltwren did not end with exit code 0 through File, Exit (code %code%)"
"%smoke%" leftovers %started% "%program%" 5000
if errorlevel 1 call :fail "Voltwren left its console or a tool running"

"%smoke%" expect "%log%" 1 "Change of charging type detected (2)."
if errorlevel 1 call :fail "the change to USB PD is not in the log once"
"%smoke%" expect "%log%" 1 "Change of charging type detected (1)."
if errorlevel 1 call :fail "the change to Quick Charge is not in the log once"
"%smoke%" expect "%log%" 0 "Unable to show the toast"
if errorlevel 1 call :fail "a toast was refused"
"%smoke%" expect "%log%" 1 "[Voltwren][WndProc] *** WM_DESTROY  (0x2) ***"
if errorlevel 1 call :fail "the log does not show the window closing"
"%smoke%" expect "%log%" 1 "[Voltwren][wWinMain] @@@@@ WM_QUIT RECEIVED. @@@@@"
if errorlevel 1 call :fail "the log does not show the end of the message loop"

rem A tool that hangs on its first command keeps cmd.exe from ever reading "exit":
rem Voltwren gives up by itself, and its console and the tool must end with it.
if defined failure goto :cleanup
echo smoke: a tool that hangs; Voltwren gives up by itself within about 30 s
> "%story%" echo status 0 delay 600 s
start "" /d "%program%" "%program%\Voltwren.exe" -retrycount 1
"%smoke%" pid-of "%program%\Voltwren.exe" 15000 > "%work%\voltwren.pid"
if errorlevel 1 (
  call :fail "Voltwren did not start again"
  goto :cleanup
)
set /p started=<"%work%\voltwren.pid"
"%smoke%" expect "%log%" 2 "[Voltwren][wWinMain] @@@@@ WM_QUIT RECEIVED. @@@@@" 90000
if errorlevel 1 call :fail "Voltwren did not give up on the hung tool within 90 s"
"%smoke%" leftovers %started% "%program%" 5000
if errorlevel 1 call :fail "Voltwren left its console or the hung tool running"

:cleanup
set "kept=%TEMP%\voltwren-smoke.log"
if exist "%kept%" del /q "%kept%"
if defined failure if exist "%log%" copy /y "%log%" "%kept%" >nul
if exist "%kept%" echo smoke: the log of this run is kept: "%kept%"
rem The program registers its toast identity for the user. Both registry views
rem are cleaned: which one holds a 32-bit program's entries depends on the Windows version.
for %%v in (64 32) do (
  reg delete "%identity%" /f /reg:%%v >nul 2>&1
  reg delete "%activator%" /f /reg:%%v >nul 2>&1
)
for %%v in (64 32) do (
  reg query "%identity%" /reg:%%v >nul 2>&1
  if not errorlevel 1 call :fail "the toast identity stays in the registry"
  reg query "%activator%" /reg:%%v >nul 2>&1
  if not errorlevel 1 call :fail "the toast activator stays in the registry"
)
rd /s /q "%work%" 2>nul
if exist "%work%" call :fail "could not remove %work%"

if not defined failure goto :pass
echo FAIL: %failure%
exit /b 1
:pass
echo PASS: two charger changes and their toasts, File, Exit with exit code 0, nothing left running, also after a hung tool
exit /b 0

rem :fail REASON: notes a failure; the first one is the reason given at the end.
:fail
echo smoke: FAIL: %~1
if not defined failure set "failure=%~1"
exit /b 0
