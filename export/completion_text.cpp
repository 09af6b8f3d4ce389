#include "export/completion_text.h"

#include <algorithm>

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

}  // namespace

std::string FormatCompletionText(const std::string& folder, const ExportSummary& summary) {
    if (summary.failed.empty() && summary.folderReady) {
        return "Save the conversion is complete.\nThe folder is " + folder + ". Do you want to open the folder?";
    }
    // Without the folder nothing is complete, even when the library took
    // every AVI or backup it was asked for: it places those files itself.
    std::string text = "The export finished with failures.\n";
    if (!summary.folderReady) text += "The folder " + folder + " could not be created.\n";
    if (!summary.failed.empty()) {
        const std::size_t failedCount = summary.failed.size();
        text += std::to_string(failedCount) + " of " + std::to_string(summary.total) +
                (summary.total == 1 ? " recording" : " recordings") + " could not be exported:\n";
        const std::size_t named = std::min(failedCount, kMaxNamedFailures);
        for (std::size_t i = 0; i < named; ++i) text += Displayable(summary.failed[i]) + "\n";
        if (failedCount > named) text += "and " + std::to_string(failedCount - named) + " more\n";
    }
    if (!CompletionOffersFolder(summary)) return text + "Nothing was saved in it.";
    text += "The folder is " + folder + ". Do you want to open the folder?";
    return text;
}

bool CompletionOffersFolder(const ExportSummary& summary) {
    return summary.folderReady;
}

}  // namespace kro
