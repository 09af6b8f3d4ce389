// The benchmark driver's measurements of the running program; each prints
// its figures with their baseline and returns the driver's exit status.
#pragma once

#include <string>

namespace kro::bench {

// The caption of the driver's own minimal dialog, the start-up floor.
inline constexpr wchar_t kBenchDialogCaption[] = L"KroBenchDialog";

// `slotFolder` holds the simulator's card as "card.out"; renaming it to
// "card" inserts it. The program must be running with that card path.
int MeasureArrival(const std::wstring& slotFolder, int inserts);
int MeasureStallDuringLoad(const std::wstring& slotFolder);
// Ticks the first `rows` Normal rows of the loaded card and saves them.
int MeasureStallDuringExport(int rows);
// Starts `program` and the driver's minimal dialog in turn, `runs` times each.
int MeasureStartup(const std::wstring& program, int runs);

// Stand-alone programs for baselines (bare_programs.cpp).
int RunMinimalDialog(bool designTimers);
// The program's own window without its logic: its dialog template from
// `program`'s resources (its first `controls` controls; all when negative),
// the lists' font, extended style and columns, and of what the program does
// besides at its start the parts named in `parts`.
// kOwnImports loads the system libraries the program imports beyond the
// driver's own.
enum OwnDialogPart : unsigned {
    kOwnLayoutPass = 1,
    kOwnRowImages = 2,
    kOwnIcon = 4,
    kOwnTimers = 8,
    kOwnImports = 16
};
inline constexpr unsigned kOwnAllParts = kOwnLayoutPass | kOwnRowImages | kOwnIcon | kOwnTimers | kOwnImports;
int RunOwnDialog(const std::wstring& program, unsigned parts, int controls);
// How many controls that template holds; 0 when it cannot be read.
int OwnDialogControlCount(const std::wstring& program);
// A window with four list views that inserts the card's rows itself. It
// prints "before" and waits for the file `signal` to appear, inserts the
// rows, prints "rows N" and "after" and waits for the file to go, so that
// a script measures its memory in both states from outside.
int RunBareLists(const std::wstring& signal);

}  // namespace kro::bench
