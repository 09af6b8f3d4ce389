// AVIProgress: the small modal dialog shown while ticked recordings are
// exported. Its worker thread runs the export (RunExport) and moves the two
// progress bars by posting to them; its one-second timer turns the worker's
// done flag into the closing box "Saved" and ends the dialog. The box asks
// whether to open the export folder, or, when the folder could not be
// created, only says so.
//
// The dialog ends only through that question: Enter, Esc and the close
// command are ignored, so it cannot end under its worker, and the worker is
// joined before the question is asked (and again, if still needed, before
// the object goes).
//
// The one exception is a device library that stops answering. When the
// worker has made no progress for m_stallLimit, the status line says so and
// Esc or the close command ask whether to end the program; Yes ends the run
// with kExportAbandoned while the worker is still inside the library. The
// caller must then keep this object alive (the worker uses it) and end the
// program: nothing the library holds can be had back.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "device/kro_library.h"
#include "export/export_request.h"
#include "export/export_worker.h"
#include "ui/dialog.h"
#include "ui/progress_bar.h"

namespace kro {

// RunModal's result when the user ended a run whose worker stopped moving.
inline constexpr INT_PTR kExportAbandoned = IDABORT;
// How long the worker may go without progress before the user is offered a
// way out: far beyond any one conversion of a working library (a recording
// of an hour converts in seconds), short enough that a user facing a frozen
// bar has not yet reached for the task manager.
inline constexpr std::chrono::milliseconds kExportStallLimit{60000};

class AVIProgress : public ui::Dialog {
public:
    // backup: produce backups in the device's own format instead of AVIs
    // (pictures are produced for the Photo kind either way).
    explicit AVIProgress(bool backup);
    ~AVIProgress() override;

    // Set by the export request before the modal run; the worker reads them
    // and nothing changes them while it runs.
    const KroLibrary* m_library = nullptr;
    std::vector<std::string> m_selection;  // recording names, in list order
    std::string m_outputFolder;            // kExportFolder, set at initialisation
    bool m_backup;
    // Raised by the worker as its very last touch of the dialog; lowered by
    // the timer, which then asks the closing question.
    std::atomic<bool> m_done{false};
    // Save requests set their kind; a backup request keeps this one.
    std::int32_t m_exportKind = kBackupExportKind;
    ui::ProgressBar m_progressFiles;  // 1013: recordings done, 0..n
    ui::ProgressBar m_progressStep;   // 1014: activity step, 0..3
    // No progress for this long offers the way out; set before the run.
    std::chrono::milliseconds m_stallLimit = kExportStallLimit;
    // Where the worker writes; the system's unless a test sets its own
    // before the run. It outlives the run.
    ExportFileSystem* m_fileSystem = &SystemExportFileSystem();

protected:
    bool OnInitDialog() override;
    void OnTimer(UINT_PTR timerId) override;
    bool OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnOK() override {}
    void OnCancel() override;
    // Sets the one-second timer that looks at m_done; false when it could
    // not be set (the worker then posts kExportDoneMessage as it ends).
    virtual bool StartDoneCheck();

private:
    void DoDataExchange();
    void StartExportThread();
    void ExportThreadProc();
    // Called on each timer tick while the worker runs: offers the way out
    // once it has been still for m_stallLimit.
    void WatchForStall();
    static std::int64_t NowMilliseconds();
    // Raises m_done (the worker's last touch of the dialog), and posts
    // kExportDoneMessage when no timer looks at it.
    void RaiseDone();
    // Asks the closing question once the worker is done, then ends.
    void FinishWhenDone();

    std::thread worker_;
    // When the worker last moved a bar (steady clock, milliseconds).
    std::atomic<std::int64_t> lastProgress_{0};
    bool stallOffered_ = false;
    bool asking_ = false;  // the end-the-program question is open
    // Written by the worker before it raises m_done; read after the join.
    ExportSummary summary_;
    // Set before the worker starts when no timer looks at m_done.
    HWND postDoneTo_ = nullptr;
};

}  // namespace kro
