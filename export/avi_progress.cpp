#include "export/avi_progress.h"

#include <commctrl.h>
#include <shellapi.h>

#include <exception>

#include "export/completion_text.h"
#include "resources/resource.h"

namespace kro {
namespace {

constexpr UINT_PTR kDoneCheckTimer = 0;
constexpr UINT kDoneCheckPeriodMs = 1000;

// Moves the bars from the worker by posting: the worker never waits on the
// dialog's thread, so that thread may join the worker at any time.
class PostedProgress final : public ExportProgress {
public:
    PostedProgress(HWND files, HWND step) : files_(files), step_(step) {}

    // PBM_SETRANGE32: a selection may hold more than 65,535 names.
    void SetRange(ProgressBar bar, std::int32_t upper) override {
        PostMessageW(Bar(bar), PBM_SETRANGE32, 0, static_cast<LPARAM>(upper));
    }
    void SetPosition(ProgressBar bar, std::int32_t position) override {
        PostMessageW(Bar(bar), PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }

private:
    HWND Bar(ProgressBar bar) const { return bar == ProgressBar::Files ? files_ : step_; }

    HWND files_;
    HWND step_;
};

// What to report when the export could not run at all.
ExportSummary NothingExported(const std::vector<std::string>& selection) {
    ExportSummary summary;
    summary.total = static_cast<std::int32_t>(selection.size());
    try {
        summary.failed = selection;
    } catch (const std::exception&) {
        // Counted in total all the same; the text then names none.
    }
    return summary;
}

}  // namespace

AVIProgress::AVIProgress(bool backup) : Dialog(IDD_AVIPROGRESS), m_backup(backup) {}

AVIProgress::~AVIProgress() {
    // Only a run that ended abnormally (the window destroyed from outside)
    // gets here with the worker still going.
    if (worker_.joinable()) worker_.join();
}

void AVIProgress::DoDataExchange() {
    Bind(m_progressFiles, IDC_PROGRESS_FILES);
    Bind(m_progressStep, IDC_PROGRESS_STEP);
}

bool AVIProgress::OnInitDialog() {
    DoDataExchange();
    SetDlgItemTextW(Handle(), IDC_PROGRESS_TEXT, L"Requesting action.");
    m_outputFolder = kExportFolder;
    m_done.store(false);
    StartExportThread();
    SetTimer(Handle(), kDoneCheckTimer, kDoneCheckPeriodMs, nullptr);
    return true;
}

void AVIProgress::StartExportThread() {
    try {
        worker_ = std::thread([this] { ExportThreadProc(); });
    } catch (const std::exception&) {
        summary_ = NothingExported(m_selection);
        m_done.store(true, std::memory_order_release);
    }
}

void AVIProgress::ExportThreadProc() {
    try {
        const ExportJob job{m_library, m_selection, m_outputFolder, m_exportKind, m_backup};
        PostedProgress progress(m_progressFiles.Handle(), m_progressStep.Handle());
        summary_ = RunExport(job, SystemExportFileSystem(), progress, StandardOutput());
    } catch (const std::exception&) {
        summary_ = NothingExported(m_selection);
    }
    m_done.store(true, std::memory_order_release);
}

void AVIProgress::OnTimer(UINT_PTR) {
    if (!m_done.exchange(false, std::memory_order_acq_rel)) return;
    if (worker_.joinable()) worker_.join();

    const std::string text = FormatCompletionText(m_outputFolder, summary_);
    if (MessageBoxA(Handle(), text.c_str(), kCompletionCaption, MB_YESNO) == IDYES) {
        ShellExecuteA(nullptr, "explore", m_outputFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    End(IDOK);
}

}  // namespace kro
