// Device access of the main dialog: the library binding and the poller start
// with the dialog and end with it, in an order that never unloads the
// library under a thread still inside it.
#include "device/device_access.h"
#include "device/text_sink.h"
#include "main_window/kro_file_list_dlg.h"

namespace kro {

namespace {

constexpr wchar_t kStartUpCaption[] = L"11";
// Loads stop after the library call they are in; the poller's own bounded
// wait (StopPoller) is as long.
constexpr std::chrono::seconds kLoadStopWait{2};

}  // namespace

void CKroFileListDlg::StartDeviceAccess() {
    if (!m_deviceLibrary.Load("")) {
        // The loader has said why each place failed; a library that loaded
        // but lacks an export or an instance gets this line only.
        DiagnosticOutput().Write(
            "The device library could not be bound: not found, an export missing, or "
            "KRO_Create failed\n");
        MessageBoxW(Handle(), L"KROLib failed...", kStartUpCaption, 0);
        return;
    }
    if (!m_poller.StartPolling(m_deviceLibrary, &CKroFileListDlg::OnCardReport, this)) {
        MessageBoxW(Handle(), L"schedule failed...", kStartUpCaption, 0);
    }
}

void CKroFileListDlg::OnCardReport(const LocalTime*, std::uint8_t deviceValue, void* userData) {
    static_cast<CKroFileListDlg*>(userData)->m_reportedDeviceValue.store(
        static_cast<std::int8_t>(deviceValue));
}

void CKroFileListDlg::StopDeviceAccess() {
    if (m_listLoads.Stop(Handle(), kLoadStopWait)) {
        deviceAccessEnded_ = EndDeviceAccess(m_poller, m_deviceLibrary);
        return;
    }
    // A load is still inside the library: it must stay loaded. The poller is
    // stopped all the same, so that it asks no more.
    static_cast<void>(StopPoller(m_poller));
    deviceAccessEnded_ = false;
}

}  // namespace kro
