// Writes a planned card into a folder: one container file per recording,
// then the descriptor, so the card counts as present only when complete.
#pragma once

#include <string>

#include "tools/cardgen/card_plan.h"

namespace kro::cardgen {

// Creates the folder if needed. A folder that holds anything but a card's
// files is refused; an earlier card's files are replaced. Returns an error
// message, empty on success.
std::string WriteCard(const CardPlan& plan, const std::string& folder);

}  // namespace kro::cardgen
