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
// The one exception is a device library that stops answering. The stall
// clock belongs to the recording in progress: when the bars have not moved
// for m_stallLimit, the status line says so and Esc or the close command
// offer a way out; any move of the bars takes the offer back. With the
// library in a host process the way out stops the export: the host is
// ended, the call in progress comes back failed, the worker names what was
// not exported and ends, and the dialog finishes as always. With the library
// in this process (or when the worker stays stuck after a stop) nothing the
// library holds can be had back: Yes ends the run with kExportAbandoned while
// the worker is still inside, and the caller must then keep this object
// alive (the worker uses it) and end the program.
//
// The dialog's life, one stage at a time (Advance moves it on):
//   Working --no move of the bars for m_stallLimit--> Stalled
//   Stalled --the bars move--> Working;  Stalled --Esc or close--> Asking
//   Asking --No--> Stalled;  Asking --Yes, hosted--> Stopping
//   Asking --Yes, in-process, the worker still stuck--> Ended (kExportAbandoned)
//   Stopping --no end m_stallLimit after the stop--> Stalled, offering the program's end
//   Working, Stalled, Stopping --m_done--> Finishing --"Saved" answered--> Ended (IDOK)
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

// RunModal's result when the user ended a run whose worker stayed stuck in a
// library that could not be stopped.
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
    enum class Stage {
        Working,    // the worker moves: Enter, Esc and close are ignored
        Stalled,    // no move for m_stallLimit: the status says so, Esc or close ask
        Asking,     // the way-out question is open (a nested loop; ticks wait for the answer)
        Stopping,   // the host was ended; waiting for the worker to wind down
        Finishing,  // the worker is done: the "Saved" box is open, then the run ends
        Ended,      // End was called; what is still dispatched changes nothing
    };
    // What moves the dialog on.
    enum class Event { Tick, Done, Cancel };

    void DoDataExchange();
    // notifyWhenDone: the window the worker posts kExportDoneMessage to as
    // it ends, when no timer looks at m_done; null otherwise.
    void StartExportThread(HWND notifyWhenDone);
    void ExportThreadProc(HWND notifyWhenDone);
    static std::int64_t NowMilliseconds();
    // Raises m_done (the worker's last touch of the dialog) and posts
    // kExportDoneMessage to notifyWhenDone unless it is null.
    void RaiseDone(HWND notifyWhenDone);

    // The one place where the stage changes.
    void Advance(Event event);
    // True when the bars have not moved for m_stallLimit.
    bool BarsStill() const;
    void EnterWorking();
    void EnterStalled();
    // Asks the way-out question and acts on the answer.
    void Ask();
    // Ends the host under the worker and lets the worker name what is left.
    void BeginStop();
    // Lowers m_done, joins the worker, asks the closing question, then ends
    // the run.
    void Finish();
    void SetStatus(const wchar_t* text);

    std::thread worker_;
    Stage stage_ = Stage::Working;
    // The way out stops the export (a hosted library); lowered for good when
    // a stop did not bring the worker back.
    bool offerStop_ = false;
    // When the stop was asked for (steady clock, milliseconds).
    std::int64_t stopAt_ = 0;
    // When the worker last moved a bar (steady clock, milliseconds).
    std::atomic<std::int64_t> lastProgress_{0};
    // Raised by the dialog to stop the export; read by the worker.
    std::atomic<bool> stopRequested_{false};
    // Written by the worker before it raises m_done; read after the join.
    ExportSummary summary_;
};

}  // namespace kro
