#include "cli/export_run.h"

#include <chrono>

#include "cli/card_load.h"
#include "cli/progress_line.h"
#include "export/completion_text.h"
#include "export/export_request.h"
#include "export/export_worker.h"

namespace kro::cli {
namespace {

class ProgressOutput {
public:
    explicit ProgressOutput(CliConsole& console) : console_(console), inPlace_(console.OutIsConsole()) {}
    ~ProgressOutput() {
        if (inPlace_ && width_ > 0) console_.Out("\n");
    }
    void Show(const std::string& line) {
        console_.Out(inPlace_ ? ConsoleProgressText(line, width_) : DisplayName(line) + "\n");
    }

private:
    CliConsole& console_;
    const bool inPlace_;
    std::size_t width_ = 0;
};

}  // namespace

ExportRecord LoadExportRecord(CliEnvironment& environment) {
    const std::string path = environment.exportFolder + kExportRecordName;
    ExportRecord record = ExportRecord::Parse(environment.system.ReadFile(path, kMaxRecordBytes));
    if (record.State() == RecordState::Damaged) {
        environment.console.Err(
            "The record of exported recordings " + environment.system.AnsiToUtf8(path) +
            " is damaged and is not trusted: it is rebuilt, and every recording counts as "
            "new.\n");
    }
    return record;
}

ExportOutcome ExportRows(CliEnvironment& environment, const KroLibrary& library, RecordingCategory category,
                         const std::vector<RecordingRow>& rows, ExportRecord& record, bool onlyNew,
                         const std::function<bool()>& giveWay) {
    ExportOutcome outcome;
    std::vector<const RecordingRow*> selection;
    for (const RecordingRow& row : rows) {
        if (onlyNew && record.Contains(category, row.bytes, row.name)) {
            ++outcome.skipped;
        } else {
            selection.push_back(&row);
        }
    }
    if (selection.empty()) return outcome;

    ExportJob job;
    job.library = &library;
    job.outputFolder = environment.exportFolder;
    // The kind the list's save button asks for.
    job.exportKind = ExportButtonFor(category, /*backup=*/false).exportKind;
    job.checkLibraryResult = true;
    // Pictures need the folder; the library places AVI files itself.
    const bool folderReady = PrepareExportFolder(job.outputFolder, environment.fileSystem);
    outcome.folderReady = folderReady;
    const bool writable = folderReady || job.exportKind != kPhotoExportKind;
    if (!folderReady) {
        environment.console.Err("The folder " + environment.system.AnsiToUtf8(job.outputFolder) +
                                " could not be created.\n");
    }

    const int total = static_cast<int>(selection.size());
    const auto start = std::chrono::steady_clock::now();
    bool recordWarned = false;
    ProgressOutput progress(environment.console);
    LibraryFaultRule libraryFaults;
    for (int i = 0; i < total; ++i) {
        const RecordingRow& row = *selection[static_cast<std::size_t>(i)];
        if (environment.stop.load() || outcome.stop != ExportStop::None) {
            outcome.stopped.push_back(row.name);
            continue;
        }
        if (!outcome.deferred.empty() || (giveWay && giveWay())) {
            outcome.deferred.push_back(row.name);
            continue;
        }
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        progress.Show(FormatProgressLine(i + 1, total, environment.system.AnsiToUtf8(row.name), elapsed,
                                         EstimateRemaining(i, total, elapsed)));
        const RecordingResult result =
            writable ? ExportRecording(job, row.name, environment.fileSystem, environment.trace)
                     : RecordingResult::Failed;
        // A call cut short by a stop (kStopGrace) was not the library's fault.
        if (result != RecordingResult::Exported && result != RecordingResult::Failed &&
            environment.stop.load()) {
            outcome.stopped.push_back(row.name);
            continue;
        }
        const ExportStop stop = libraryFaults.After(result);
        if (stop == ExportStop::LibraryUnavailable) {
            outcome.stop = stop;
            outcome.stopped.push_back(row.name);
            continue;
        }
        if (result != RecordingResult::Exported) {
            if (!LibraryFaultNote(result).empty()) outcome.libraryFaults[outcome.failed.size()] = result;
            outcome.failed.push_back(row.name);
            if (i < total - 1) outcome.stop = stop;
            continue;
        }
        ++outcome.exported;
        record.Add(category, row.bytes, row.name);
        if (!record.Save(job.outputFolder, environment.fileSystem) && !recordWarned) {
            recordWarned = true;
            environment.console.Err(
                "The record of exported recordings could not be written; --new will "
                "export these recordings again.\n");
        }
    }
    return outcome;
}

void ReportProblems(CliEnvironment& environment, const ExportOutcome& outcome) {
    for (std::size_t i = 0; i < outcome.failed.size(); ++i) {
        const auto fault = outcome.libraryFaults.find(i);
        environment.console.Err(
            "Not exported: " + DisplayName(environment.system.AnsiToUtf8(outcome.failed[i])) +
            (fault != outcome.libraryFaults.end() ? LibraryFaultNote(fault->second) : "") + "\n");
    }
    if (outcome.stop != ExportStop::None) environment.console.Err(ExportStopText(outcome.stop) + "\n");
    for (const std::string& name : outcome.stopped) {
        environment.console.Err(
            "Not exported (stopped): " + DisplayName(environment.system.AnsiToUtf8(name)) + "\n");
    }
}

}  // namespace kro::cli
