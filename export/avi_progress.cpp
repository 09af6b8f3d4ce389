#include "export/avi_progress.h"

#include <exception>
#include <string>

#include "device/text_sink.h"
#include "device/thread_end_guard.h"
#include "export/completion_text.h"
#include "resources/resource.h"
#include "ui/app_messages.h"

namespace kro {
namespace {

constexpr UINT_PTR kDoneCheckTimer = 0;
constexpr UINT kDoneCheckPeriodMs = 1000;

constexpr wchar_t kWorkingStatus[] = L"Requesting action.";
constexpr wchar_t kStoppingStatus[] = L"Stopping the export.";
constexpr wchar_t kStallCaption[] = L"KroFileList";

// Opens `folder` in Explorer; false when it could not. shell32 is loaded
// here rather than imported: with it and the libraries it pulls in, every
// start of the program would take longer, for the end of an export. It is
// loaded by its full path in the system folder, as nothing else may stand in
// for it in an elevated program.
bool ExploreFolder(const std::string& folder) {
    using ShellExecuteFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
    wchar_t system[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    HMODULE shell = LoadLibraryW((std::wstring(system, length) + L"\\shell32.dll").c_str());
    const auto shellExecute = shell ? reinterpret_cast<ShellExecuteFunction>(
                                          reinterpret_cast<void*>(GetProcAddress(shell, "ShellExecuteA")))
                                    : nullptr;
    if (shellExecute == nullptr) return false;
    // Values up to 32 are errors.
    return reinterpret_cast<INT_PTR>(
               shellExecute(nullptr, "explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

// The way out as the status line and the question put it: stopping the
// export (a hosted library), or ending the program (nothing else can be had
// back).
struct WayOut {
    const wchar_t* status;
    const wchar_t* question;
};
constexpr WayOut kStopExport = {L"The device library is not answering. Close this window to stop the export.",
                                L"The device library has not answered for a long time.\n\n"
                                L"Stop the export? Recordings not yet exported are not saved."};
constexpr WayOut kEndProgram = {
    L"The device library is not answering. Close this window to end KroFileList.",
    L"The device library has not answered for a long time, and the export cannot go on.\n\n"
    L"End KroFileList now? Recordings not yet exported are not saved."};

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
    SetStatus(kWorkingStatus);
    m_outputFolder = kExportFolder;
    m_done.store(false);
    stage_ = Stage::Working;
    offerStop_ = m_library != nullptr && m_library->IsHosted();
    lastProgress_.store(NowMilliseconds());
    // Without the timer nothing would look at m_done: the worker then says
    // itself that it has ended.
    HWND notifyWhenDone = nullptr;
    if (!StartDoneCheck()) {
        ReportLastError("SetTimer (export done check)");
        notifyWhenDone = Handle();
    }
    StartExportThread(notifyWhenDone);
    return true;
}

bool AVIProgress::StartDoneCheck() {
    return SetTimer(Handle(), kDoneCheckTimer, kDoneCheckPeriodMs, nullptr) != 0;
}

void AVIProgress::StartExportThread(HWND notifyWhenDone) {
    try {
        worker_ = std::thread([this, notifyWhenDone] { ExportThreadProc(notifyWhenDone); });
    } catch (const std::exception&) {
        summary_ = NothingExported(m_selection);
        RaiseDone(notifyWhenDone);
    }
}

void AVIProgress::RaiseDone(HWND notifyWhenDone) {
    m_done.store(true, std::memory_order_release);
    // The worker's own copy of the handle: the dialog is not touched again.
    if (notifyWhenDone != nullptr) PostMessageW(notifyWhenDone, ui::kExportDoneMessage, 0, 0);
}

void AVIProgress::ExportThreadProc(HWND notifyWhenDone) {
    // The dialog ends only once m_done is up: raise it on every way out.
    const ThreadEndGuard raiseDone([this, notifyWhenDone] { RaiseDone(notifyWhenDone); });
    try {
        // A conversion the library reports as not made (0: no card, a
        // recording it cannot read) is named in the completion box.
        const ExportJob job{.library = m_library,
                            .selection = m_selection,
                            .outputFolder = m_outputFolder,
                            .exportKind = m_exportKind,
                            .backup = m_backup,
                            .checkLibraryResult = true,
                            .stop = &stopRequested_};
        PostedProgress progress(m_progressFiles, m_progressStep, lastProgress_,
                                &AVIProgress::NowMilliseconds);
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

void AVIProgress::OnTimer(UINT_PTR) {
    Advance(Event::Tick);
}

bool AVIProgress::OnAppMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != ui::kExportDoneMessage) return false;
    Advance(Event::Done);
    result = 0;
    return true;
}

void AVIProgress::OnCancel() {
    Advance(Event::Cancel);
}

void AVIProgress::Advance(Event event) {
    // The question and the "Saved" box run loops of their own, in which the
    // timer keeps ticking: their answers move the dialog on.
    if (stage_ == Stage::Asking || stage_ == Stage::Finishing || stage_ == Stage::Ended) return;
    if (m_done.load(std::memory_order_acquire)) {
        // Esc and close end nothing; the tick or the worker's message does.
        if (event != Event::Cancel) Finish();
        return;
    }
    switch (stage_) {
        case Stage::Working:
            if (event == Event::Tick && BarsStill()) EnterStalled();
            return;
        case Stage::Stalled:
            if (!BarsStill()) {
                EnterWorking();
            } else if (event == Event::Cancel) {
                Ask();
            }
            return;
        case Stage::Stopping:
            if (event != Event::Tick) return;
            // A call that was waiting its turn behind another thread's may
            // have started a fresh host since: that one goes too.
            m_library->EndHost();
            // A worker stuck outside the library does not come back: the
            // way out is then the program's end.
            if (NowMilliseconds() - stopAt_ >= m_stallLimit.count()) {
                offerStop_ = false;
                EnterStalled();
            }
            return;
        default:
            return;
    }
}

bool AVIProgress::BarsStill() const {
    return NowMilliseconds() - lastProgress_.load() >= m_stallLimit.count();
}

void AVIProgress::SetStatus(const wchar_t* text) {
    SetDlgItemTextW(Handle(), IDC_PROGRESS_TEXT, text);
}

void AVIProgress::EnterWorking() {
    stage_ = Stage::Working;
    SetStatus(kWorkingStatus);
}

void AVIProgress::EnterStalled() {
    stage_ = Stage::Stalled;
    // The status line is as wide as the bars, so the longer text fits.
    HWND status = Item(IDC_PROGRESS_TEXT);
    HWND bar = Item(IDC_PROGRESS_FILES);
    RECT statusRect = {}, barRect = {};
    if (status != nullptr && bar != nullptr && GetWindowRect(status, &statusRect) &&
        GetWindowRect(bar, &barRect)) {
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&statusRect), 2);
        MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&barRect), 2);
        SetWindowPos(status, nullptr, 0, 0, barRect.right - statusRect.left,
                     statusRect.bottom - statusRect.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetStatus((offerStop_ ? kStopExport : kEndProgram).status);
}

void AVIProgress::Ask() {
    stage_ = Stage::Asking;
    const WayOut& wayOut = offerStop_ ? kStopExport : kEndProgram;
    const int answer =
        MessageBoxW(Handle(), wayOut.question, kStallCaption, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    stage_ = Stage::Stalled;
    // The worker may have finished, or moved again, while the question was
    // open. A stop is safe whatever it did; the program ends only under a
    // worker that is still stuck.
    if (answer == IDYES && !m_done.load(std::memory_order_acquire)) {
        if (offerStop_) {
            BeginStop();
            return;
        }
        if (BarsStill()) {
            stage_ = Stage::Ended;
            End(kExportAbandoned);
            return;
        }
    }
    Advance(Event::Tick);
}

void AVIProgress::BeginStop() {
    stage_ = Stage::Stopping;
    stopAt_ = NowMilliseconds();
    SetStatus(kStoppingStatus);
    // The flag before the host's end: the worker then begins no further
    // recording, and the call the end cuts short counts as not answering.
    stopRequested_.store(true);
    m_library->EndHost();
}

void AVIProgress::Finish() {
    stage_ = Stage::Finishing;
    m_done.store(false);
    if (worker_.joinable()) worker_.join();
    // A posted end can come before the modal loop first shows the dialog;
    // the question belongs over a visible dialog.
    if (!IsWindowVisible(Handle())) ShowWindow(Handle(), SW_SHOW);

    const std::string text = FormatCompletionText(m_outputFolder, summary_);
    // A folder that could not be created is not offered: OK only.
    const bool offer = CompletionOffersFolder(summary_);
    if (MessageBoxA(Handle(), text.c_str(), kCompletionCaption, offer ? MB_YESNO : MB_OK) == IDYES && offer &&
        !ExploreFolder(m_outputFolder)) {
        ReportLastError("ShellExecuteA explore " + m_outputFolder);
    }
    stage_ = Stage::Ended;
    End(IDOK);
}

}  // namespace kro
