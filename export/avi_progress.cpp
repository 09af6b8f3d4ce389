#include "export/avi_progress.h"

#include <shellapi.h>

#include <exception>

#include "device/text_sink.h"
#include "device/thread_end_guard.h"
#include "export/completion_text.h"
#include "resources/resource.h"
#include "ui/app_messages.h"

namespace kro {
namespace {

constexpr UINT_PTR kDoneCheckTimer = 0;
constexpr UINT kDoneCheckPeriodMs = 1000;

constexpr wchar_t kStallStatus[] = L"The device library is not answering. Close this window to end KroFileList.";
constexpr wchar_t kStallQuestion[] =
    L"The device library has not answered for a long time, and the export cannot go on.\n\n"
    L"End KroFileList now? Recordings not yet exported are not saved.";
constexpr wchar_t kStallCaption[] = L"KroFileList";

// Moves the bars from the worker by posting: the worker never waits on the
// dialog's thread, so that thread may join the worker at any time. Every
// move is also the worker's sign of life.
class PostedProgress final : public ExportProgress {
public:
    PostedProgress(const ui::ProgressBar& files, const ui::ProgressBar& step,
                   std::atomic<std::int64_t>& lastProgress, std::int64_t (*now)())
        : files_(files), step_(step), lastProgress_(lastProgress), now_(now) {}

    // 32-bit bounds: a selection may hold more than 65,535 names.
    void SetRange(ExportBar bar, std::int32_t upper) override {
        lastProgress_.store(now_());
        Bar(bar).PostRange32(0, upper);
    }
    void SetPosition(ExportBar bar, std::int32_t position) override {
        lastProgress_.store(now_());
        Bar(bar).PostPos(position);
    }

private:
    const ui::ProgressBar& Bar(ExportBar bar) const { return bar == ExportBar::Files ? files_ : step_; }

    ui::ProgressBar files_;
    ui::ProgressBar step_;
    std::atomic<std::int64_t>& lastProgress_;
    std::int64_t (*now_)();
};

// What to report when the export could not run at all.
ExportSummary NothingExported(const std::vector<std::string>& selection) {
    ExportSummary summary;
    summary.total = static_cast<std::int32_t>(selection.size());
    // Nothing is known against the folder: the box must not blame it.
    summary.folderReady = true;
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
    lastProgress_.store(NowMilliseconds());
    // Without the timer nothing would look at m_done: the worker then says
    // itself that it has ended.
    if (!StartDoneCheck()) {
        ReportLastError("SetTimer (export done check)");
        postDoneTo_ = Handle();
    }
    StartExportThread();
    return true;
}

bool AVIProgress::StartDoneCheck() {
    return SetTimer(Handle(), kDoneCheckTimer, kDoneCheckPeriodMs, nullptr) != 0;
}

void AVIProgress::StartExportThread() {
    try {
        worker_ = std::thread([this] { ExportThreadProc(); });
    } catch (const std::exception&) {
        summary_ = NothingExported(m_selection);
        RaiseDone();
    }
}

void AVIProgress::RaiseDone() {
    m_done.store(true, std::memory_order_release);
    if (postDoneTo_ != nullptr) PostMessageW(postDoneTo_, ui::kExportDoneMessage, 0, 0);
}

void AVIProgress::ExportThreadProc() {
    // The dialog ends only once m_done is up: raise it on every way out.
    const ThreadEndGuard raiseDone([this] { RaiseDone(); });
    try {
        // A conversion the library reports as not made (0: no card, a
        // recording it cannot read) is named in the completion box.
        const ExportJob job{m_library, m_selection, m_outputFolder, m_exportKind, m_backup, true};
        PostedProgress progress(m_progressFiles, m_progressStep, lastProgress_, &AVIProgress::NowMilliseconds);
        summary_ = RunExport(job, *m_fileSystem, progress, DiagnosticOutput());
    } catch (...) {
        summary_ = NothingExported(m_selection);
    }
}

std::int64_t AVIProgress::NowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void AVIProgress::WatchForStall() {
    if (stallOffered_ || NowMilliseconds() - lastProgress_.load() < m_stallLimit.count()) return;
    stallOffered_ = true;
    // The status line is as wide as the bars, so the longer text fits.
    HWND status = Item(IDC_PROGRESS_TEXT);
    HWND bar = Item(IDC_PROGRESS_FILES);
    RECT statusRect = {}, barRect = {};
    if (status != nullptr && bar != nullptr && GetWindowRect(status, &statusRect) && GetWindowRect(bar, &barRect)) {
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&statusRect), 2);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&barRect), 2);
        SetWindowPos(status, nullptr, 0, 0, barRect.right - statusRect.left, statusRect.bottom - statusRect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetDlgItemTextW(Handle(), IDC_PROGRESS_TEXT, kStallStatus);
}

void AVIProgress::OnCancel() {
    // Esc and the close command do nothing while the worker moves.
    if (!stallOffered_ || m_done.load(std::memory_order_acquire)) return;
    // The timer keeps ticking inside the box; it leaves the done flag alone
    // until the answer is in.
    asking_ = true;
    const int answer = MessageBoxW(Handle(), kStallQuestion, kStallCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    asking_ = false;
    if (answer != IDYES) return;
    // The worker may have finished while the question was open.
    if (m_done.load(std::memory_order_acquire)) return;
    End(kExportAbandoned);
}

void AVIProgress::OnTimer(UINT_PTR) {
    if (asking_) return;
    if (!m_done.load(std::memory_order_acquire)) {
        WatchForStall();
        return;
    }
    FinishWhenDone();
}

bool AVIProgress::OnAppMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != ui::kExportDoneMessage) return false;
    FinishWhenDone();
    result = 0;
    return true;
}

void AVIProgress::FinishWhenDone() {
    if (!m_done.exchange(false, std::memory_order_acq_rel)) return;
    if (worker_.joinable()) worker_.join();
    // A posted end can come before the modal loop first shows the dialog;
    // the question belongs over a visible dialog.
    if (!IsWindowVisible(Handle())) ShowWindow(Handle(), SW_SHOW);

    const std::string text = FormatCompletionText(m_outputFolder, summary_);
    // A folder that could not be created is not offered: OK only.
    const bool offer = CompletionOffersFolder(summary_);
    if (MessageBoxA(Handle(), text.c_str(), kCompletionCaption, offer ? MB_YESNO : MB_OK) == IDYES && offer) {
        // Values up to 32 are errors.
        const auto opened = reinterpret_cast<INT_PTR>(
            ShellExecuteA(nullptr, "explore", m_outputFolder.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (opened <= 32) ReportLastError("ShellExecuteA explore " + m_outputFolder);
    }
    End(IDOK);
}

}  // namespace kro
