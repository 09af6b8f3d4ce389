@echo off
rem Runs KroFileList on the demo card with the simulator library in this folder.
rem This folder holds a copy of the program beside the simulator: the program
rem loads the device library only from its own folder (or the system's),
rem never through the current folder or PATH, and the simulator is never put
rem beside the program in the folder above, where a camera maker's KROLib.dll
rem belongs.
setlocal
set "KROSIM_CARD=%~dp0card"
start "" "%~dp0KroFileList.exe"
