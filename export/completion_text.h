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
// plainly: "The export finished with failures." (or, for an export that
// stopped early, ExportStopText), then "The folder <folder> could not be
// created." when it could not, "<k> of <n> recording(s) could not be
// exported:" and the names, one per line (control characters shown as "?";
// a name the library had no answer for followed by its LibraryFaultNote),
// the first kMaxNamedFailures of them, then "and <rest> more"; for an early
// stop "<m> recording(s) were not exported, as the export stopped before
// them:" and those names the same way; and last the same folder question,
// or "Nothing was saved in it." for a folder that could not be created.
// ANSI bytes, for a box with kCompletionCaption.
std::string FormatCompletionText(const std::string& folder, const ExportSummary& summary);

// What follows a recording's name when the library had no answer for it:
// " (the device library crashed)" or " (the device library stopped
// answering)"; empty for every other result.
std::string LibraryFaultNote(RecordingResult result);

// Why an export stopped before its end, as one sentence: "The export was
// stopped.", "The export stopped early: the device library failed on 3
// recordings in a row." or "The export stopped early: the device library
// could not be started again."; empty for ExportStop::None.
std::string ExportStopText(ExportStop stop);

// Whether the box asks to open the folder (Yes and No) or only tells (OK):
// a folder that could not be created is not offered.
bool CompletionOffersFolder(const ExportSummary& summary);

}  // namespace kro
