// kro_e2e_driver's pieces shared by its two files: driver.cpp holds the
// commands that act on the program's windows, driver_session.cpp the command
// loop and the commands that read the program's process as a whole.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

// A command that cannot be carried out; main or the command loop reports it.
class DriverFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const char* what);

// The program's main window, or null.
HWND MainWindow();

// Runs one command; argv[1] is its name. Throws DriverFailure.
int Run(int argc, char** argv);

// The commands of driver_session.cpp; false for a name it does not know.
bool RunSessionCommand(const std::string& command, int argc, char** argv);
