// What a generated card holds: the recordings with their names, letters,
// timing, picture sizes and declared sizes. Plans are deterministic for a
// seed (std::mt19937 is the same sequence everywhere).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kro::cardgen {

struct RecordingPlan {
    std::string name;
    char letter = 'I';
    bool photo = false;
    std::uint8_t framesPerSecond = 0;
    std::int32_t durationSeconds = 0;
    std::uint32_t frontFrames = 0;
    std::uint32_t rearFrames = 0;
    int frontWidth = 0;
    int frontHeight = 0;
    int rearWidth = 0;
    int rearHeight = 0;
    std::int32_t gSensor = 0;
    // 0 = report the stored size.
    std::uint32_t frontDeclaredBytes = 0;
    std::uint32_t rearDeclaredBytes = 0;
    int quality = 50;
};

struct CardPlan {
    std::uint8_t diskNumber = 2;
    std::string label;
    std::vector<RecordingPlan> recordings;
};

// About forty recordings over the four categories, every type letter, one
// unknown letter, durations from a few seconds to over an hour.
CardPlan DemoCard(std::uint32_t seed);
// `count` small recordings that declare camera-sized streams and durations.
CardPlan ScaleCard(std::uint32_t count, std::uint32_t seed);

}  // namespace kro::cardgen
