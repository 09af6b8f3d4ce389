#include "app/kro_file_list_app.h"

#include <windows.h>

#include <commctrl.h>

#include <memory>

#include "app/single_instance.h"
#include "main_window/kro_file_list_dlg.h"
#include "resources/window_class.h"
#include "ui/dialog_class.h"
#include "ui/program_resources.h"
#include "win32/owned_handle.h"

namespace kro {

namespace {

// Owned by the running copy for the life of its process; a second copy
// raises that copy's window and closes its handle.
win32::KernelHandle singleInstanceMutex;

// How long a second copy waits for a running copy's window, or for an ending
// copy to be gone.
constexpr DWORD kOtherCopyWait = 15000;

}  // namespace

bool CKroFileListApp::InitInstance() {
    HINSTANCE instance = ui::ProgramInstance();
    if (!ui::RegisterDialogClass(instance, kMainWindowClass)) return false;

    singleInstanceMutex.Reset(CreateMutexA(nullptr, TRUE, kSingleInstanceName));
    const DWORD mutexError = GetLastError();
    if (!singleInstanceMutex) return false;
    if (mutexError == ERROR_ALREADY_EXISTS && !WaitForOtherCopy(singleInstanceMutex.Get(), kOtherCopyWait)) {
        singleInstanceMutex.Reset();
        return true;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);

    // There is no application framework to initialise, and no settings are
    // kept.

    auto dialog = std::make_unique<CKroFileListDlg>();
    dialog->RunModal(nullptr);
    if (!dialog->DeviceAccessEnded()) {
        // A thread is still inside the device library, which therefore stays
        // loaded: the dialog that owns the binding and the threads' state is
        // left to the process's end rather than destroyed under them.
        static_cast<void>(dialog.release());
    }
    // Otherwise the dialog's members end here, in reverse order of
    // declaration.
    return false;
}

}  // namespace kro
