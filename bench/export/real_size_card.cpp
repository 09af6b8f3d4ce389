#include "bench/export/real_size_card.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace kro::bench {
namespace {

constexpr std::uint32_t kFrameBytes = 56 * 1024;  // ~100 MB per minute at 30 frames per second
constexpr std::uint8_t kFramesPerSecond = 30;
constexpr std::size_t kHeaderBytes = 48;

void Put32(std::vector<char>& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
}

std::uint32_t Get32(const std::vector<char>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[offset + static_cast<std::size_t>(i)]);
    return value;
}

// The first front picture of a demo photo.
std::vector<char> FirstPicture(const fs::path& recording) {
    std::ifstream in(recording, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (file.size() < kHeaderBytes + 4) return {};
    const std::uint32_t length = Get32(file, kHeaderBytes);
    if (file.size() < kHeaderBytes + 4 + length) return {};
    return {file.begin() + kHeaderBytes + 4,
            file.begin() + static_cast<std::ptrdiff_t>(kHeaderBytes + 4 + length)};
}

// One recording: `frames` copies of the picture, padded to `frameBytes`.
void WriteRecording(const fs::path& path, char letter, std::uint8_t fps, const std::vector<char>& picture,
                    std::uint32_t frameBytes, std::uint32_t frames) {
    std::vector<char> frame(4 + frameBytes, '\0');
    Put32(frame, 0, frameBytes);
    std::memcpy(frame.data() + 4, picture.data(), std::min<std::size_t>(picture.size(), frameBytes));
    std::vector<char> header(kHeaderBytes, '\0');
    std::memcpy(header.data(), "KRS1", 4);
    header[4] = letter;
    header[5] = static_cast<char>(fps);
    header[6] = static_cast<char>(kHeaderBytes);
    Put32(header, 8, fps ? frames / fps : 0);
    Put32(header, 12, frames);
    Put32(header, 20, 1920u | (1080u << 16));
    Put32(header, 32, frames * static_cast<std::uint32_t>(frame.size()));
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    for (std::uint32_t i = 0; i < frames; ++i)
        out.write(frame.data(), static_cast<std::streamsize>(frame.size()));
}

}  // namespace

RealSizeCard MakeRealSizeCard(const fs::path& demo, const fs::path& card,
                              const std::vector<std::uint32_t>& videoMegabytes, int photos,
                              std::uint32_t photoBytes) {
    std::vector<char> picture;
    for (const auto& entry : fs::directory_iterator(demo)) {
        if (entry.path().filename().string().find(".JPG.") != std::string::npos) {
            picture = FirstPicture(entry.path());
            if (!picture.empty()) break;
        }
    }
    if (picture.empty()) return {};
    fs::create_directories(card);
    fs::copy_file(demo / "KROCARD.INI", card / "KROCARD.INI", fs::copy_options::overwrite_existing);
    RealSizeCard made;
    for (std::size_t i = 0; i < videoMegabytes.size(); ++i) {
        const std::string name = "real_" + std::to_string(100 + i);
        const auto frames = static_cast<std::uint32_t>(videoMegabytes[i] * 1048576ull / (kFrameBytes + 4));
        WriteRecording(card / (name + ".KRO"), 'I', kFramesPerSecond, picture, kFrameBytes, frames);
        made.videos.push_back(name);
    }
    for (int i = 0; i < photos; ++i) {
        const std::string name = "photo_" + std::to_string(100 + i) + ".JPG";
        WriteRecording(card / (name + ".KRO"), 'J', 0, picture, photoBytes, 1);
        made.photos.push_back(name);
    }
    return made;
}

}  // namespace kro::bench
