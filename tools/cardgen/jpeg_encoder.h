// JPEG encoding of test pictures with libjpeg-turbo: baseline, 4:2:0.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/cardgen/test_pattern.h"

namespace kro::cardgen {

std::vector<std::uint8_t> EncodeJpeg(const Picture& picture, int quality);

}  // namespace kro::cardgen
