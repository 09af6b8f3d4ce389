// The export worker's steps: make sure the export folder exists, then have
// the device library convert each selected recording, moving two progress
// bars. Portable; the progress dialog runs RunExport on its worker thread,
// keeps the summary and raises its done flag when RunExport has returned.
#pragma once

#include <cstddef>
#include <cstdint>
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
};

struct ExportSummary {
    std::int32_t total = 0;
    // The output folder existed or was made; nothing is known against it
    // until the walk has looked.
    bool folderReady = true;
    std::vector<std::string> failed;  // names known not exported, in order
};

// Exports one recording; false when it is known not to have been exported:
// a name that is not a plain file name; for pictures a path too long, no
// buffer, a library that wrote past the buffer, a length outside
// 1..1,048,576, or a failed write; for AVI and
// backup files an unbound library or entry point, and with
// checkLibraryResult a call that returned 0. Otherwise the library's own
// results are not examined.
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
ExportSummary RunExport(const ExportJob& job, ExportFileSystem& fileSystem, ExportProgress& progress,
                        TextSink& trace);

}  // namespace kro
