// The export worker's steps: make sure the export folder exists, then have
// the device library convert each selected recording, moving two progress
// bars. Portable; the progress dialog runs RunExport on its worker thread,
// keeps the summary and raises its done flag when RunExport has returned.
//
// A device library in a host process of its own can crash or stop answering
// inside a call and cost only that call: the recording counts as failed,
// with the reason, and the walk goes on (the binding starts a fresh host for
// the next call). It gives up on a library that keeps failing: after
// kLibraryFaultsInARow recordings in a row whose host crashed or hung, or as
// soon as the binding has no host to offer (its restarts are paused after
// repeated ends); the recordings left count as not exported and are named.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "device/kro_library.h"
#include "export/export_file_system.h"
#include "device/text_sink.h"

namespace kro {

// The folder the product exports into.
inline constexpr const char* kExportFolder = "C:\\ZiduvOra\\";
// Longest picture path that is written (the path buffer's 1,024 bytes less
// the terminator).
inline constexpr std::size_t kMaxExportPathLength = 1023;

// The progress dialog's two bars, as the worker names them.
enum class ExportBar {
    Files,  // control 1013: recordings done, range 0..n
    Step,   // control 1014: activity step, range 0..3
};

// Receives the bars' ranges and positions on the worker thread.
class ExportProgress {
public:
    virtual ~ExportProgress() = default;
    virtual void SetRange(ExportBar bar, std::int32_t upper) = 0;  // lower bound 0
    virtual void SetPosition(ExportBar bar, std::int32_t position) = 0;
};

struct ExportJob {
    const KroLibrary* library = nullptr;
    std::vector<std::string> selection;  // names in list order
    std::string outputFolder;            // ends with a separator
    std::int32_t exportKind = 0;         // 3: pictures
    bool backup = false;                 // for a kind other than 3: backup instead of AVI
    // Also count an AVI or backup file as failed when the library's call
    // returns 0. The window and the console twin both ask for it: the
    // completion box and the exit code must not report a file that was not
    // made as exported.
    bool checkLibraryResult = false;
    // Raised by another thread to stop the export: no further recording is
    // begun, and a call cut short meanwhile (its host ended) counts as not
    // answering. Null: the export is never stopped.
    const std::atomic<bool>* stop = nullptr;
};

// How one recording's export went.
enum class RecordingResult {
    Exported,
    Failed,               // known not exported, for a reason of its own (ExportOne)
    LibraryCrashed,       // the library's host ended during the call
    LibraryNotAnswering,  // the call outlived its deadline, or was stuck when the export was stopped
    LibraryUnavailable,   // the binding had no host for the call: nothing was asked
};

// Why a walk ended before its last recording.
enum class ExportStop {
    None,
    RepeatedLibraryFaults,  // kLibraryFaultsInARow recordings in a row crashed or hung the library
    LibraryUnavailable,     // the binding could not start the library's host again
    ByUser,                 // ExportJob::stop was raised
};

// A library that crashes or hangs on this many recordings in a row is not
// asked for more. A single bad recording (one the library cannot parse)
// costs only itself; the binding pauses its restarts after three host ends
// within a minute anyway.
inline constexpr int kLibraryFaultsInARow = 3;

// The give-up rule of a walk, one recording's result at a time.
class LibraryFaultRule {
public:
    // The stop the result calls for: LibraryUnavailable at once,
    // RepeatedLibraryFaults on the kLibraryFaultsInARow-th crash or hang in
    // a row, else None.
    ExportStop After(RecordingResult result);

private:
    int inARow_ = 0;
};

struct ExportSummary {
    std::int32_t total = 0;
    // The output folder existed or was made; nothing is known against it
    // until the walk has looked.
    bool folderReady = true;
    std::vector<std::string> failed;  // names known not exported, in order
    // For the failed names the library had no answer for: the index in
    // failed and what happened (LibraryCrashed or LibraryNotAnswering).
    std::map<std::size_t, RecordingResult> libraryFaults = {};
    ExportStop stop = ExportStop::None;
    // The names the walk did not reach once it stopped, in order.
    std::vector<std::string> notExported = {};
};

// Exports one recording and says how it went. Failed when it is known not
// to have been exported: a name that is not a plain file name; for pictures
// a path too long, no buffer, a library that wrote past the buffer (seen by
// our guard or by the host's), a length outside 1..1,048,576, or a failed
// write; for AVI and backup files an unbound library or entry point, and
// with checkLibraryResult a call that returned 0. A call the library's host
// did not answer gives LibraryCrashed, LibraryNotAnswering or
// LibraryUnavailable, whatever the kind. Otherwise the library's own results
// are not examined.
RecordingResult ExportRecording(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem,
                                TextSink& trace);
// ExportRecording, true only for Exported.
bool ExportOne(const ExportJob& job, const std::string& name, ExportFileSystem& fileSystem,
               TextSink& trace);

// The walk's first step: true when the output folder exists or could be
// created (one level deep). A folder that is there is then cleared of the
// program's stale temporary files, before anything is written into it.
bool PrepareExportFolder(const std::string& folder, ExportFileSystem& fileSystem);

// The whole walk: the folder (created one level deep when missing), then
// for n names the ranges 0..n and 0..3, per name the positions i and
// (i + 1) % 3, after the last one n and 3, and a 1 ms pause. An empty
// selection sets nothing. When the folder is neither there nor can be made,
// no picture is asked for and every one counts as failed, while AVI and
// backup files are still asked of the library, which places them itself.
// The walk ends early by LibraryFaultRule or the job's stop; the bars then
// stay where they were.
ExportSummary RunExport(const ExportJob& job, ExportFileSystem& fileSystem, ExportProgress& progress,
                        TextSink& trace);

}  // namespace kro
