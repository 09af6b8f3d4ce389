// Device access of the main dialog: the library binding and the poller start
// with the dialog (the library on a thread of its own, so the window need
// not wait for its host) and end with it, in an order that never unloads
// the library under a thread still inside it.
#include <chrono>
#include <system_error>

#include "device/device_access.h"
#include "device/text_sink.h"
#include "main_window/kro_file_list_dlg.h"
#include "ui/app_messages.h"

namespace kro {

namespace {

constexpr wchar_t kStartUpCaption[] = L"11";
// Loads stop after the library call they are in; the poller's own bounded
// wait (StopPoller) is as long.
constexpr std::chrono::seconds kLoadStopWait{2};
// A host still starting at the close is ended (once: the stop waits for
// the host the start is making), and the start-up thread is given at most 5
// seconds to give up.
constexpr std::chrono::seconds kStartEndWait{5};
constexpr DWORD kStartEndSliceMs = 10;

}  // namespace

void CKroFileListDlg::StartDeviceAccess() {
    // Starting the library's host takes as long as starting a program; the
    // window shows meanwhile. Nothing calls the library before the poller
    // runs: without it no card is seen.
    try {
        m_libraryStart = std::thread([this] {
            m_libraryLoaded.store(m_deviceLibrary.Load(""));
            m_libraryStartEnded.store(true);
            PostMessageW(Handle(), ui::kLibraryStartedMessage, 0, 0);
        });
    } catch (const std::system_error&) {
        // No thread: the start-up waits for the library instead.
        m_libraryLoaded.store(m_deviceLibrary.Load(""));
        m_libraryStartEnded.store(true);
        FinishDeviceStart();
    }
}

void CKroFileListDlg::FinishDeviceStart() {
    if (!m_libraryStartEnded.load() || deviceStartFinished_) return;
    deviceStartFinished_ = true;
    if (m_libraryStart.joinable()) m_libraryStart.join();
    if (!m_libraryLoaded.load()) {
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

bool CKroFileListDlg::EndDeviceStart() {
    if (!m_libraryStart.joinable()) return true;
    // Closed while the host starts (or its KRO_Create does not return):
    // the host is ended, so the load fails at once.
    if (!m_libraryStartEnded.load()) static_cast<void>(m_deviceLibrary.EndHost());
    const auto giveUp = std::chrono::steady_clock::now() + kStartEndWait;
    while (!m_libraryStartEnded.load() && std::chrono::steady_clock::now() < giveUp) Sleep(kStartEndSliceMs);
    if (!m_libraryStartEnded.load()) {
        // The thread uses this dialog, which then outlives the run.
        m_libraryStart.detach();
        return false;
    }
    m_libraryStart.join();
    return true;
}

void CKroFileListDlg::OnCardReport(const LocalTime*, std::uint8_t deviceValue, void* userData) {
    static_cast<CKroFileListDlg*>(userData)->m_reportedDeviceValue.store(
        static_cast<std::int8_t>(deviceValue));
}

void CKroFileListDlg::StopDeviceAccess() {
    if (!EndDeviceStart()) {
        deviceAccessEnded_ = false;
        return;
    }
    // A load still inside a hosted library comes back once its host is
    // ended (the close is a stop); its thread holds a Use of the library, so
    // the close below waits for it to leave.
    if (m_listLoads.Stop(Handle(), kLoadStopWait) || m_deviceLibrary.EndHost()) {
        deviceAccessEnded_ = EndDeviceAccess(m_poller, m_deviceLibrary);
        return;
    }
    // A load is still inside the library in this process: it must stay
    // loaded. The poller is stopped all the same, so that it asks no more.
    static_cast<void>(StopPoller(m_poller));
    deviceAccessEnded_ = false;
}

}  // namespace kro
