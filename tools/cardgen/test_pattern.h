// Test pictures for generated cards: colour bars with a box that moves from
// frame to frame, the frame number in large digits and a progress bar, so a
// played-back video visibly runs; and a photo card with its name written on.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kro::cardgen {

// An RGB picture, 3 bytes per pixel, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

enum class Camera { Front, Rear };

Picture VideoFrame(int width, int height, std::uint32_t frame, std::uint32_t frameCount, Camera camera);
Picture PhotoPicture(int width, int height, std::string_view caption, std::uint32_t variant);

}  // namespace kro::cardgen
