// A bench card of recordings at a camera's real sizes, built from the demo
// card's pictures: videos of 30 frames per second whose frames are padded
// (after the picture's end marker, where decoders stop) to the size of a
// 1080p Motion JPEG frame, and photos padded to a camera photo's size. The
// bytes are real: the library reads and converts every one of them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kro::bench {

struct RealSizeCard {
    std::vector<std::string> videos;  // names, 50 to 150 MB each
    std::vector<std::string> photos;  // names
};

// Writes the card into `card` (with the demo card's KROCARD.INI); empty
// lists when the demo card has no picture to build from.
RealSizeCard MakeRealSizeCard(const std::filesystem::path& demo, const std::filesystem::path& card,
                              const std::vector<std::uint32_t>& videoMegabytes, int photos,
                              std::uint32_t photoBytes);

}  // namespace kro::bench
