#include "simulator/avi_writer.h"

#include <algorithm>
#include <cstring>

namespace kro::sim {
namespace {

constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAviifKeyFrame = 0x10;
constexpr std::uint32_t kMainHeaderSize = 56;
constexpr std::uint32_t kStreamHeaderSize = 56;
constexpr std::uint32_t kBitmapInfoSize = 40;
constexpr std::uint32_t kIndexEntrySize = 16;
// 'strl' list: its type, then 'strh' and 'strf' chunks.
constexpr std::uint32_t kStreamListSize = 4 + 8 + kStreamHeaderSize + 8 + kBitmapInfoSize;
// 'hdrl' list: its type, the 'avih' chunk and the 'strl' list.
constexpr std::uint32_t kHeaderListSize = 4 + 8 + kMainHeaderSize + 8 + kStreamListSize;

class Bytes {
public:
    void Tag(const char (&fourcc)[5]) {
        for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(fourcc[i]));
    }
    void U16(std::uint16_t v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void U32(std::uint32_t v) {
        U16(static_cast<std::uint16_t>(v));
        U16(static_cast<std::uint16_t>(v >> 16));
    }
    bool WriteTo(std::FILE* out) const {
        return std::fwrite(bytes_.data(), 1, bytes_.size(), out) == bytes_.size();
    }

private:
    std::vector<std::uint8_t> bytes_;
};

std::uint64_t Padded(std::uint32_t size) {
    return std::uint64_t{size} + (size & 1u);
}

Bytes Headers(const AviVideo& video, std::uint32_t riffSize, std::uint32_t moviSize,
              std::uint32_t largestFrame) {
    const auto frameCount = static_cast<std::uint32_t>(video.frames.size());
    Bytes b;
    b.Tag("RIFF");
    b.U32(riffSize);
    b.Tag("AVI ");
    b.Tag("LIST");
    b.U32(kHeaderListSize);
    b.Tag("hdrl");

    b.Tag("avih");
    b.U32(kMainHeaderSize);
    b.U32(1000000u / video.framesPerSecond);  // microseconds per frame
    b.U32(static_cast<std::uint32_t>(         // maximum bytes per second
        std::min<std::uint64_t>(std::uint64_t{largestFrame} * video.framesPerSecond, 0xFFFFFFFFu)));
    b.U32(0);  // padding granularity
    b.U32(kAvifHasIndex);
    b.U32(frameCount);
    b.U32(0);  // initial frames
    b.U32(1);  // streams
    b.U32(largestFrame);
    b.U32(video.width);
    b.U32(video.height);
    for (int i = 0; i < 4; ++i) b.U32(0);

    b.Tag("LIST");
    b.U32(kStreamListSize);
    b.Tag("strl");
    b.Tag("strh");
    b.U32(kStreamHeaderSize);
    b.Tag("vids");
    b.Tag("MJPG");
    b.U32(0);                      // flags
    b.U16(0);                      // priority
    b.U16(0);                      // language
    b.U32(0);                      // initial frames
    b.U32(1);                      // scale
    b.U32(video.framesPerSecond);  // rate: frames per second = rate / scale
    b.U32(0);                      // start
    b.U32(frameCount);             // length in frames
    b.U32(largestFrame);
    b.U32(0xFFFFFFFFu);  // quality: default
    b.U32(0);            // sample size: varies
    b.U16(0);
    b.U16(0);
    b.U16(video.width);
    b.U16(video.height);

    b.Tag("strf");
    b.U32(kBitmapInfoSize);
    b.U32(kBitmapInfoSize);
    b.U32(video.width);
    b.U32(video.height);
    b.U16(1);   // planes
    b.U16(24);  // bits per pixel once decoded
    b.Tag("MJPG");
    b.U32(std::uint32_t{video.width} * video.height * 3);
    for (int i = 0; i < 4; ++i) b.U32(0);

    b.Tag("LIST");
    b.U32(moviSize);
    b.Tag("movi");
    return b;
}

bool CopyFrame(std::FILE* source, const FrameSpan& frame, std::vector<std::uint8_t>& buffer, std::FILE* out) {
    buffer.resize(frame.size);
    if (std::fseek(source, static_cast<long>(frame.offset), SEEK_SET) != 0) return false;
    if (std::fread(buffer.data(), 1, frame.size, source) != frame.size) return false;
    Bytes chunk;
    chunk.Tag("00dc");
    chunk.U32(frame.size);
    if (!chunk.WriteTo(out)) return false;
    if (std::fwrite(buffer.data(), 1, frame.size, out) != frame.size) return false;
    return (frame.size & 1u) == 0 || std::fputc(0, out) != EOF;
}

}  // namespace

bool WriteAvi(const AviVideo& video, std::FILE* source, std::FILE* out) {
    if (video.frames.empty() || video.framesPerSecond == 0 || video.width == 0 || video.height == 0)
        return false;
    std::uint64_t moviSize = 4;
    std::uint32_t largestFrame = 0;
    for (const FrameSpan& frame : video.frames) {
        moviSize += 8 + Padded(frame.size);
        largestFrame = std::max(largestFrame, frame.size);
    }
    const std::uint64_t indexSize = std::uint64_t{kIndexEntrySize} * video.frames.size();
    const std::uint64_t riffSize = 4 + (8 + kHeaderListSize) + (8 + moviSize) + (8 + indexSize);
    if (riffSize > 0xFFFFFFF0u) return false;

    if (!Headers(video, static_cast<std::uint32_t>(riffSize), static_cast<std::uint32_t>(moviSize),
                 largestFrame)
             .WriteTo(out))
        return false;
    std::vector<std::uint8_t> buffer;
    for (const FrameSpan& frame : video.frames) {
        if (!CopyFrame(source, frame, buffer, out)) return false;
    }

    // Offsets count from the 'movi' type field, the usual reading.
    Bytes index;
    index.Tag("idx1");
    index.U32(static_cast<std::uint32_t>(indexSize));
    std::uint32_t offset = 4;
    for (const FrameSpan& frame : video.frames) {
        index.Tag("00dc");
        index.U32(kAviifKeyFrame);
        index.U32(offset);
        index.U32(frame.size);
        offset += 8 + static_cast<std::uint32_t>(Padded(frame.size));
    }
    return index.WriteTo(out);
}

}  // namespace kro::sim
