// The twin's export of recordings of one list: the export worker's steps
// (the folder, then ExportOne per recording, with every check the window's
// export makes) one recording at a time, with the progress line, the record
// of exported recordings kept up to date after each success, and a stop
// request honoured between recordings.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_system.h"
#include "cli/export_record.h"
#include "export/export_worker.h"
#include "recording_lists/recording_list_loader.h"

namespace kro::cli {

struct ExportOutcome {
    int exported = 0;
    int skipped = 0;                   // already in the record (--new)
    std::vector<std::string> failed;   // names not exported, in order (library bytes)
    std::vector<std::string> stopped;  // names not reached before a stop request
    // Names left, not begun, when the give-way question said yes (watch
    // exports them later).
    std::vector<std::string> deferred;
    // The failed names the device library had no answer for: the index in
    // failed and what happened; and why the export stopped early, when the
    // library kept failing (the names not reached are in stopped).
    std::map<std::size_t, RecordingResult> libraryFaults;
    ExportStop stop = ExportStop::None;
    // False when the export folder could not be created: nothing was saved
    // in it, whatever the library reported of its own files.
    bool folderReady = true;
};

// The record in the export folder; says so on standard error when it was
// damaged and is rebuilt.
ExportRecord LoadExportRecord(CliEnvironment& environment);

// Exports `rows` (recordings of `category`) in order. With onlyNew, rows the
// record names are skipped. A device library that keeps failing ends it
// early, as it ends the window's export (LibraryFaultRule). `giveWay`, when
// given, is asked before each recording: once it says yes, the rest are
// deferred.
ExportOutcome ExportRows(CliEnvironment& environment, const KroLibrary& library, RecordingCategory category,
                         const std::vector<RecordingRow>& rows, ExportRecord& record, bool onlyNew,
                         const std::function<bool()>& giveWay = {});

// One line per failed and per unreached recording on standard error.
void ReportProblems(CliEnvironment& environment, const ExportOutcome& outcome);

}  // namespace kro::cli
