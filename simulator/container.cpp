#include "simulator/container.h"

#include <algorithm>
#include <cstring>

namespace kro::sim {
namespace {

// Field offsets inside the 48-byte header.
enum Offset : std::size_t {
    kMagic = 0,
    kTypeLetter = 4,
    kFramesPerSecond = 5,
    kHeaderSize = 6,
    kDuration = 8,
    kFrontFrames = 12,
    kRearFrames = 16,
    kFrontWidth = 20,
    kFrontHeight = 22,
    kRearWidth = 24,
    kRearHeight = 26,
    kGSensor = 28,
    kFrontStored = 32,
    kRearStored = 36,
    kFrontDeclared = 40,
    kRearDeclared = 44,
};

void Put16(std::uint8_t* at, std::uint16_t value) {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t Get16(const std::uint8_t* at) {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | at[i];
    return value;
}

void AppendStream(std::vector<std::uint8_t>& out, const std::vector<std::vector<std::uint8_t>>& frames) {
    for (const auto& frame : frames) {
        std::uint8_t length[4];
        Put32(length, static_cast<std::uint32_t>(frame.size()));
        out.insert(out.end(), length, length + 4);
        out.insert(out.end(), frame.begin(), frame.end());
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeHeader(const ContainerHeader& header) {
    std::vector<std::uint8_t> bytes(kContainerHeaderSize, 0);
    std::uint8_t* p = bytes.data();
    std::memcpy(p + kMagic, kContainerMagic, sizeof kContainerMagic);
    p[kTypeLetter] = static_cast<std::uint8_t>(header.typeLetter);
    p[kFramesPerSecond] = header.framesPerSecond;
    Put16(p + kHeaderSize, static_cast<std::uint16_t>(kContainerHeaderSize));
    Put32(p + kDuration, static_cast<std::uint32_t>(header.durationSeconds));
    Put32(p + kFrontFrames, header.frontFrames);
    Put32(p + kRearFrames, header.rearFrames);
    Put16(p + kFrontWidth, header.frontWidth);
    Put16(p + kFrontHeight, header.frontHeight);
    Put16(p + kRearWidth, header.rearWidth);
    Put16(p + kRearHeight, header.rearHeight);
    Put32(p + kGSensor, static_cast<std::uint32_t>(header.gSensor));
    Put32(p + kFrontStored, header.frontStoredBytes);
    Put32(p + kRearStored, header.rearStoredBytes);
    Put32(p + kFrontDeclared, header.frontDeclaredBytes);
    Put32(p + kRearDeclared, header.rearDeclaredBytes);
    return bytes;
}

std::optional<ContainerHeader> DecodeHeader(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kContainerHeaderSize) return std::nullopt;
    const std::uint8_t* p = bytes.data();
    if (std::memcmp(p + kMagic, kContainerMagic, sizeof kContainerMagic) != 0) return std::nullopt;
    if (Get16(p + kHeaderSize) != kContainerHeaderSize) return std::nullopt;
    ContainerHeader header;
    header.typeLetter = static_cast<char>(p[kTypeLetter]);
    header.framesPerSecond = p[kFramesPerSecond];
    header.durationSeconds = static_cast<std::int32_t>(Get32(p + kDuration));
    header.frontFrames = Get32(p + kFrontFrames);
    header.rearFrames = Get32(p + kRearFrames);
    header.frontWidth = Get16(p + kFrontWidth);
    header.frontHeight = Get16(p + kFrontHeight);
    header.rearWidth = Get16(p + kRearWidth);
    header.rearHeight = Get16(p + kRearHeight);
    header.gSensor = static_cast<std::int32_t>(Get32(p + kGSensor));
    header.frontStoredBytes = Get32(p + kFrontStored);
    header.rearStoredBytes = Get32(p + kRearStored);
    header.frontDeclaredBytes = Get32(p + kFrontDeclared);
    header.rearDeclaredBytes = Get32(p + kRearDeclared);
    // Every frame costs at least its length field.
    if (header.frontStoredBytes / 4 < header.frontFrames || header.rearStoredBytes / 4 < header.rearFrames)
        return std::nullopt;
    if (header.StoredFileSize() > kMaxContainerFileSize) return std::nullopt;
    return header;
}

std::uint64_t StreamBytes(const std::vector<std::vector<std::uint8_t>>& frames) {
    std::uint64_t total = 0;
    for (const auto& frame : frames) total += 4 + frame.size();
    return total;
}

std::vector<std::uint8_t> BuildContainer(ContainerHeader header,
                                         const std::vector<std::vector<std::uint8_t>>& frontFrames,
                                         const std::vector<std::vector<std::uint8_t>>& rearFrames) {
    header.frontFrames = static_cast<std::uint32_t>(frontFrames.size());
    header.rearFrames = static_cast<std::uint32_t>(rearFrames.size());
    header.frontStoredBytes = static_cast<std::uint32_t>(StreamBytes(frontFrames));
    header.rearStoredBytes = static_cast<std::uint32_t>(StreamBytes(rearFrames));
    std::vector<std::uint8_t> file = EncodeHeader(header);
    file.reserve(static_cast<std::size_t>(header.StoredFileSize()));
    AppendStream(file, frontFrames);
    AppendStream(file, rearFrames);
    return file;
}

}  // namespace kro::sim
