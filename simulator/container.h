// The simulator's recording container: one file per recording on the card.
// A fixed 48-byte little-endian header, then the front stream, then the rear
// stream. A stream is a run of frames, each a 32-bit length and that many
// bytes of one JPEG picture. simulator/README.md documents the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kro::sim {

inline constexpr std::uint8_t kContainerMagic[4] = {'K', 'R', 'S', '1'};
inline constexpr std::size_t kContainerHeaderSize = 48;
// Stored files beyond this are refused: the AVI writer stays within RIFF's
// classic limits and file offsets fit a 32-bit long everywhere.
inline constexpr std::uint64_t kMaxContainerFileSize = 1ull << 30;

struct ContainerHeader {
    char typeLetter = 0;
    std::uint8_t framesPerSecond = 0;
    std::int32_t durationSeconds = 0;
    std::uint32_t frontFrames = 0;
    std::uint32_t rearFrames = 0;
    std::uint16_t frontWidth = 0;
    std::uint16_t frontHeight = 0;
    std::uint16_t rearWidth = 0;
    std::uint16_t rearHeight = 0;
    std::int32_t gSensor = 0;
    // Bytes the streams occupy in this file (frame length fields included).
    std::uint32_t frontStoredBytes = 0;
    std::uint32_t rearStoredBytes = 0;
    // Sizes the recording claims for its streams; 0 means "as stored". Scale
    // cards declare camera-sized streams while storing a few small frames.
    std::uint32_t frontDeclaredBytes = 0;
    std::uint32_t rearDeclaredBytes = 0;

    std::uint32_t FrontBytes() const {
        return frontDeclaredBytes != 0 ? frontDeclaredBytes : frontStoredBytes;
    }
    std::uint32_t RearBytes() const { return rearDeclaredBytes != 0 ? rearDeclaredBytes : rearStoredBytes; }
    // The file's own size: header plus both stored streams.
    std::uint64_t StoredFileSize() const {
        return kContainerHeaderSize + std::uint64_t{frontStoredBytes} + rearStoredBytes;
    }
    // The size the recording reports: header plus both streams as declared.
    std::uint64_t ReportedSize() const {
        return kContainerHeaderSize + std::uint64_t{FrontBytes()} + RearBytes();
    }
};

// Serialises the header; stored byte counts are taken as given.
std::vector<std::uint8_t> EncodeHeader(const ContainerHeader& header);
// Parses a header; empty when the bytes are not a header of ours.
std::optional<ContainerHeader> DecodeHeader(std::span<const std::uint8_t> bytes);

// Builds a complete container file from its frames. The header's frame
// counts and stored byte counts are set from the frames.
std::vector<std::uint8_t> BuildContainer(ContainerHeader header,
                                         const std::vector<std::vector<std::uint8_t>>& frontFrames,
                                         const std::vector<std::vector<std::uint8_t>>& rearFrames);

// Stored bytes of a stream holding frames of these lengths.
std::uint64_t StreamBytes(const std::vector<std::vector<std::uint8_t>>& frames);

}  // namespace kro::sim
