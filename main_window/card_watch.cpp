#include "main_window/card_watch.h"

namespace kro {

std::vector<CardWatchAction> CardWatch::OnTick(std::int8_t deviceValue) {
    using enum CardWatchAction;
    if (deviceValue != 0) {
        if (!awaitingCard_) return {};
        awaitingCard_ = false;
        return {EmptyLists, StartLoad, UpdateTitle};
    }
    awaitingCard_ = true;
    return {HideReload, EmptyLists, ResetSummaryTexts, UpdateTitle};
}

std::vector<CardWatchAction> CardWatch::OnReload(std::int8_t deviceValue) const {
    using enum CardWatchAction;
    if (deviceValue > 0) return {EmptyLists, StartLoad};
    return {EmptyLists, ShowNoCardError};
}

std::string FormatWindowTitle(bool cardPresent, std::string_view driveRoot) {
    if (!cardPresent) return "KroFileList";
    return "KroFileList [" + std::string(driveRoot) + "]";
}

}  // namespace kro
