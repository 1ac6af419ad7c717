@echo off
rem Installs the QX-8 radio's USB driver for 32-bit Windows: the driver package
rem from the radio's vendor (its .inf file with the .sys and .cat files) that is
rem placed in this script's folder, through pnputil. Needs administrator rights.
rem Exit status: pnputil's (0 when installed), 2 when no .inf file is here.
setlocal
cd /d "%~dp0"
if errorlevel 1 exit /b 1

if not exist "*.inf" (
    echo Driver installation failed: there is no driver .inf file in "%~dp0".
    echo Put the QX-8 32-bit driver package from the radio's vendor ^(the .inf file
    echo with its .sys and .cat files^) into this folder, then press the button again.
    exit /b 2
)

rem A 32-bit program on 64-bit Windows sees the 32-bit System32, which has no
rem pnputil; Sysnative is the 64-bit one. KORVANE_PNPUTIL stands in for tests.
set "PNPUTIL=%SystemRoot%\System32\pnputil.exe"
if exist "%SystemRoot%\Sysnative\pnputil.exe" set "PNPUTIL=%SystemRoot%\Sysnative\pnputil.exe"
if defined KORVANE_PNPUTIL set "PNPUTIL=%KORVANE_PNPUTIL%"
if not exist "%PNPUTIL%" (
    echo Driver installation failed: Windows' driver tool %PNPUTIL% was not found.
    exit /b 9009
)

echo Installing the QX-8 32-bit driver from "%~dp0":
call "%PNPUTIL%" /add-driver *.inf /install
set status=%errorlevel%
if %status% equ 0 (
    echo The driver was installed.
    exit /b 0
)
if %status% equ 3010 (
    echo The driver was installed; Windows needs a restart before it is used.
    exit /b 0
)
echo Driver installation failed: pnputil ended with status %status%.
if %status% equ 5 echo Access was denied: run STM32_Korvane as administrator ^(right-click it, "Run as administrator"^).
exit /b %status%
