// The question the progress dialog asks when the export has finished.
#pragma once

#include <cstddef>
#include <string>

#include "export/export_worker.h"

namespace kro {

inline constexpr const char* kCompletionCaption = "Saved";
// How many failed recordings the text names before "and N more".
inline constexpr std::size_t kMaxNamedFailures = 10;

// Without failures exactly "Save the conversion is complete.\nThe folder is
// <folder>. Do you want to open the folder?". With failures it says so
// plainly: "The export finished with failures.", then "The folder <folder>
// could not be created." when it could not, "<k> of <n> recording(s) could
// not be exported:" and the names, one per line (control characters shown
// as "?"), the first kMaxNamedFailures of them, then "and <rest> more", and
// last the same folder question, or "Nothing was saved in it." for a folder
// that could not be created. ANSI bytes, for a box with kCompletionCaption.
std::string FormatCompletionText(const std::string& folder, const ExportSummary& summary);

// Whether the box asks to open the folder (Yes and No) or only tells (OK):
// a folder that could not be created is not offered.
bool CompletionOffersFolder(const ExportSummary& summary);

}  // namespace kro
