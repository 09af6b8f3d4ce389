#include "simulator/container_file.h"

namespace kro::sim {
namespace {

bool ReadAt(std::FILE* file, std::uint64_t offset, void* into, std::size_t size) {
    return std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0 &&
           std::fread(into, 1, size, file) == size;
}

std::uint32_t Little32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace

std::optional<std::vector<FrameSpan>> IndexStream(std::FILE* file, const ContainerHeader& header,
                                                  Stream stream) {
    const bool front = stream == Stream::Front;
    const std::uint64_t begin = kContainerHeaderSize + (front ? 0 : std::uint64_t{header.frontStoredBytes});
    const std::uint64_t end = begin + (front ? header.frontStoredBytes : header.rearStoredBytes);
    const std::uint32_t count = front ? header.frontFrames : header.rearFrames;
    if (end > kMaxContainerFileSize) return std::nullopt;

    // The count is the header's claim: room for more frames is taken only
    // as frames are found, so a header claiming millions of frames in a
    // short file costs no memory.
    constexpr std::uint32_t kReservedFrames = 4096;
    std::vector<FrameSpan> frames;
    frames.reserve(count < kReservedFrames ? count : kReservedFrames);
    std::uint64_t at = begin;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t start[6];
        if (at + 4 > end || !ReadAt(file, at, start, sizeof start)) return std::nullopt;
        const std::uint32_t size = Little32(start);
        if (size < 2 || start[4] != 0xFF || start[5] != 0xD8 || at + 4 + size > end) return std::nullopt;
        frames.push_back({static_cast<std::uint32_t>(at + 4), size});
        at += 4 + std::uint64_t{size};
    }
    if (at != end) return std::nullopt;
    // Only the frames' starts were read: a file cut short inside the last
    // frame holds no whole stream.
    std::uint8_t last = 0;
    if (end > begin && !ReadAt(file, end - 1, &last, 1)) return std::nullopt;
    return frames;
}

std::optional<std::vector<std::uint8_t>> ReadFirstFrame(std::FILE* file, const ContainerHeader& header,
                                                        std::uint32_t limit) {
    if (header.frontFrames == 0) return std::nullopt;
    std::uint8_t length[4];
    if (!ReadAt(file, kContainerHeaderSize, length, sizeof length)) return std::nullopt;
    const std::uint32_t size = Little32(length);
    if (size < 2 || size > limit || std::uint64_t{size} + 4 > header.frontStoredBytes) return std::nullopt;
    std::vector<std::uint8_t> frame(size);
    if (std::fread(frame.data(), 1, size, file) != size) return std::nullopt;
    if (frame[0] != 0xFF || frame[1] != 0xD8) return std::nullopt;
    return frame;
}

}  // namespace kro::sim
