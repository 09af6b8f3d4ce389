// Support for driving the real main dialog over the simulator library: a
// copy of the native tree's demo card that a test can pull and put back,
// fault switches, what the card should show, and a modal run that calls the
// test's steps from inside the dialog's own loops.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "main_window/kro_file_list_dlg.h"
#include "recording_lists/recording_types.h"
#include "tests/win/ui/modal_run.h"

namespace kro::testing {

// One recording of the card, read from its file as the simulator's README
// documents the container.
struct CardRecording {
    std::string name;  // the file name without ".KRO"
    char letter = 0;
    std::uint32_t size = 0;            // the file's size: the demo card declares no other
    std::int32_t duration = 0;         // header offset 8
    std::uint8_t framesPerSecond = 0;  // header offset 5
    std::uint32_t frontFrames = 0;     // header offset 12
    int frontWidth = 0;                // header offset 20
    int frontHeight = 0;               // header offset 22
};

// A copy of the demo card in a scratch folder, named to the simulator by
// KROSIM_CARD for as long as it lives. No fault switch is set at first.
class DemoCard {
public:
    DemoCard();
    ~DemoCard();
    DemoCard(const DemoCard&) = delete;
    DemoCard& operator=(const DemoCard&) = delete;

    const std::filesystem::path& Folder() const { return folder_; }
    // The card goes (its descriptor is renamed away) and comes back.
    void Pull() const;
    void Insert() const;
    std::vector<CardRecording> Recordings() const;
    // The recording's first front frame: a photo's JPEG picture.
    std::string FirstFrame(const std::string& name) const;

private:
    std::filesystem::path folder_;
};

// Sets the simulator's fault switches (KROSIM_FAULTS); "" clears them.
void SetFaults(const char* switches);

// The rows each list should show for the card, by category index, as
// {name, size text[, duration text]}, and the four summary lines.
using Rows = std::vector<std::vector<std::string>>;
std::array<Rows, kCategoryCount> ExpectedRows(const std::vector<CardRecording>& card);
std::array<std::string, kCategoryCount> ExpectedSummaries(const std::vector<CardRecording>& card);

// What the dialog shows.
Rows ListRows(HWND dialog, RecordingCategory category);
std::string TextA(HWND window);
std::string SummaryText(HWND dialog, RecordingCategory category);
HWND ListOf(HWND dialog, RecordingCategory category);
int CheckedCount(HWND dialog, RecordingCategory category);
void SetChecked(HWND dialog, RecordingCategory category, int row, bool checked);
bool IsChecked(HWND dialog, RecordingCategory category, int row);
// A click on a button, as the button itself reports it.
void Click(HWND dialog, int buttonId);

// A file's bytes; empty when it cannot be read.
std::string FileBytes(const std::filesystem::path& path);
// A step that asks the dialog to close.
bool Close(HWND window);

// Runs the dialog modally through the one modal runner, with a 120 s
// watchdog (tests/win/ui/modal_run.h).
INT_PTR RunDialog(CKroFileListDlg& dialog, std::function<bool(HWND)> step);

}  // namespace kro::testing
