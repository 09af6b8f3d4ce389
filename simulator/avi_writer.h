// Writes an AVI 1.0 file: RIFF 'AVI ', one Motion-JPEG video stream ('MJPG'),
// the frames as '00dc' chunks of the 'movi' list, and an 'idx1' index with
// every frame a key frame.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

namespace kro::sim {

// Where one JPEG frame lies in the source file.
struct FrameSpan {
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

struct AviVideo {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint32_t framesPerSecond = 0;
    std::vector<FrameSpan> frames;
};

// Copies the frames from `source` into a complete AVI on `out`. False on any
// read or write failure, on an empty video or on one beyond RIFF's 32-bit size.
bool WriteAvi(const AviVideo& video, std::FILE* source, std::FILE* out);

}  // namespace kro::sim
