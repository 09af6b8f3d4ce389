// The card watch: what the main dialog does on each 500 ms tick and on a
// Reload press, given the poller's device value. Portable; the dialog
// performs the returned actions in order.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recording_lists/recording_types.h"

namespace kro {

enum class CardWatchAction : std::uint8_t {
    HideReload,         // hide the Reload button 1008
    EmptyLists,         // delete every row of the four lists, in kListEmptyingOrder
    StartLoad,          // start a list load (any running load is abandoned first)
    ResetSummaryTexts,  // zero summary texts on 1023, 1024, 1026, then 1028
    UpdateTitle,        // read the device value again and set the window title
    ShowNoCardError,    // box kNoCardErrorText / kNoCardErrorCaption, style 0
};

// The lists are emptied Normal, Event, Park, Photo (1002, 1001, 1003, 1004).
inline constexpr RecordingCategory kListEmptyingOrder[kCategoryCount] = {
    RecordingCategory::Normal, RecordingCategory::Event, RecordingCategory::Park, RecordingCategory::Photo};

inline constexpr const wchar_t* kNoCardErrorText = L"SD카드를 인식하지 않았습니다.";
inline constexpr const wchar_t* kNoCardErrorCaption = L"에러";

// Two states: awaiting a card (the start) and loaded. The device value is the
// poller's byte read as signed: the tick counts every value but 0 as a card,
// the Reload button only values above 0, so 128..255 (negative here) is a
// card for the tick and none for the button.
class CardWatch {
public:
    std::vector<CardWatchAction> OnTick(std::int8_t deviceValue);
    std::vector<CardWatchAction> OnReload(std::int8_t deviceValue) const;

    bool AwaitingCard() const { return awaitingCard_; }

private:
    bool awaitingCard_ = true;
};

// "KroFileList" without a card, "KroFileList [<root>]" with one; the root
// may be empty when no drive maps to the card's disk.
std::string FormatWindowTitle(bool cardPresent, std::string_view driveRoot);

}  // namespace kro
