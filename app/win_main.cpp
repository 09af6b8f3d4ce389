// The program's entry point, apart from the rest so that test programs can
// link the application's code.
#include <windows.h>

#include "app/kro_file_list_app.h"

namespace {

kro::CKroFileListApp theApp;

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Either result ends the process: there is no message loop after the
    // main dialog's modal run.
    theApp.InitInstance();
    return 0;
}
