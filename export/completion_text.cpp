#include "export/completion_text.h"

#include <algorithm>
#include <map>
#include <vector>

namespace kro {
namespace {

// A name as a line of the box: control characters would break the layout.
std::string Displayable(std::string name) {
    if (name.empty()) return "(no name)";
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7F; },
        '?');
    return name;
}

// The first kMaxNamedFailures names, one a line, each followed by its note,
// then "and <rest> more".
std::string NameLines(const std::vector<std::string>& names,
                      const std::map<std::size_t, RecordingResult>& faults = {}) {
    std::string lines;
    const std::size_t named = std::min(names.size(), kMaxNamedFailures);
    for (std::size_t i = 0; i < named; ++i) {
        const auto fault = faults.find(i);
        lines +=
            Displayable(names[i]) + (fault != faults.end() ? LibraryFaultNote(fault->second) : "") + "\n";
    }
    if (names.size() > named) lines += "and " + std::to_string(names.size() - named) + " more\n";
    return lines;
}

}  // namespace

std::string FormatCompletionText(const std::string& folder, const ExportSummary& summary) {
    if (summary.failed.empty() && summary.notExported.empty() && summary.stop == ExportStop::None &&
        summary.folderReady) {
        return "Save the conversion is complete.\nThe folder is " + folder + ". Do you want to open the folder?";
    }
    // Without the folder nothing is complete, even when the library took
    // every AVI or backup it was asked for: it places those files itself.
    std::string text = (summary.stop == ExportStop::None ? "The export finished with failures."
                                                         : ExportStopText(summary.stop)) +
                       "\n";
    if (!summary.folderReady) text += "The folder " + folder + " could not be created.\n";
    if (!summary.failed.empty()) {
        text += std::to_string(summary.failed.size()) + " of " + std::to_string(summary.total) +
                (summary.total == 1 ? " recording" : " recordings") + " could not be exported:\n" +
                NameLines(summary.failed, summary.libraryFaults);
    }
    if (!summary.notExported.empty()) {
        const bool one = summary.notExported.size() == 1;
        text += std::to_string(summary.notExported.size()) +
                (one ? " recording was not exported, as the export stopped before it:\n"
                     : " recordings were not exported, as the export stopped before them:\n") +
                NameLines(summary.notExported);
    }
    if (!CompletionOffersFolder(summary)) return text + "Nothing was saved in it.";
    text += "The folder is " + folder + ". Do you want to open the folder?";
    return text;
}

bool CompletionOffersFolder(const ExportSummary& summary) {
    return summary.folderReady;
}

std::string LibraryFaultNote(RecordingResult result) {
    switch (result) {
        case RecordingResult::LibraryCrashed:
            return " (the device library crashed)";
        case RecordingResult::LibraryNotAnswering:
            return " (the device library stopped answering)";
        default:
            return {};
    }
}

std::string ExportStopText(ExportStop stop) {
    switch (stop) {
        case ExportStop::ByUser:
            return "The export was stopped.";
        case ExportStop::RepeatedLibraryFaults:
            return "The export stopped early: the device library failed on " +
                   std::to_string(kLibraryFaultsInARow) + " recordings in a row.";
        case ExportStop::LibraryUnavailable:
            return "The export stopped early: the device library could not be started again.";
        default:
            return {};
    }
}

}  // namespace kro
