@echo off
rem Runs KroFileList on the demo card with the simulator library in this folder.
rem The simulator is never placed beside the program, where a camera maker's
rem KROLib.dll belongs: the program looks beside itself first and then by name,
rem which finds this folder through the current directory and PATH.
setlocal
cd /d "%~dp0"
set "PATH=%~dp0;%PATH%"
set "KROSIM_CARD=%~dp0card"
start "" "%~dp0..\KroFileList.exe"
