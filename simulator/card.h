// The card: a folder holding a descriptor file and one container file per
// recording. The card is present while the folder exists and its descriptor
// names a disk number from 1 to 255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "simulator/container.h"
#include "simulator/sim_platform.h"

namespace kro::sim {

inline constexpr const char* kCardVariable = "KROSIM_CARD";
inline constexpr const char* kDefaultCardFolderName = "card";
inline constexpr const char* kDescriptorFileName = "KROCARD.INI";
inline constexpr std::string_view kRecordingExtension = ".KRO";
// A recording name and its NUL fit the 16-byte name field of a list entry.
inline constexpr std::size_t kMaxRecordingNameLength = 15;
inline constexpr int kCategoryCount = 4;

struct CardDescriptor {
    std::uint8_t diskNumber = 0;
    std::string label;

    bool operator==(const CardDescriptor&) const = default;
};

struct Recording {
    std::string name;  // file name without its extension
    std::string path;  // the container file
    ContainerHeader header;
    int category = 0;
};

struct CardContents {
    CardDescriptor descriptor;
    // By category, then by name (byte order).
    std::vector<Recording> recordings;
    std::size_t categoryBegin[kCategoryCount + 1] = {};

    std::span<const Recording> Category(int category) const;
};

// Event 0 for e/E, Normal 1 for I, Park 2 for M/P, Photo 3 for j/J. Any other
// letter is reported with the Normal recordings.
int CategoryOfLetter(char letter);

// KROSIM_CARD when set, else the folder "card" beside the library.
std::string CardFolder();

// Parses "key=value" lines; empty unless a disk number 1..255 is given.
std::optional<CardDescriptor> ParseDescriptor(std::string_view text);
// The card's descriptor, or empty when no card is present in the folder.
std::optional<CardDescriptor> ReadDescriptor(const std::string& folder);

// Reads a card's contents. Container headers are cached by file name, size
// and modification time, so a long list of recordings is read once and a
// changed file is read again. Safe to call from several threads.
class CardReader {
public:
    // The card's contents, or null when no card is present.
    std::shared_ptr<const CardContents> Read(const std::string& folder);

private:
    struct CachedHeader {
        std::uint64_t size = 0;
        std::int64_t modified = 0;
        std::optional<ContainerHeader> header;
    };

    std::mutex mutex_;
    std::string cachedFolder_;
    std::unordered_map<std::string, CachedHeader> headers_;
    // The last contents with what they were made from: a card whose listing
    // and descriptor have not changed is not sorted out again.
    std::vector<DirectoryEntry> lastFiles_;
    std::optional<CardDescriptor> lastDescriptor_;
    std::shared_ptr<const CardContents> lastContents_;
};

// The one reader shared by every library instance.
CardReader& SharedCardReader();

}  // namespace kro::sim
