// The program's entry point, apart from the rest so that test programs can
// link the application's code.
#include <windows.h>

#include "app/kro_file_list_app.h"
#include "device/module_loader.h"

namespace {

kro::CKroFileListApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything could load a DLL by name: the program runs elevated.
    kro::NarrowLibrarySearch();
    // Either result ends the process: there is no message loop after the
    // main dialog's modal run.
    theApp.InitInstance();
    return 0;
}
