#include "simulator/card.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "simulator/names.h"
#include "simulator/sim_platform.h"

namespace kro::sim {
namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

bool EndsWithRecordingExtension(std::string_view fileName) {
    if (fileName.size() <= kRecordingExtension.size()) return false;
    const auto tail = fileName.substr(fileName.size() - kRecordingExtension.size());
    return std::equal(tail.begin(), tail.end(), kRecordingExtension.begin(), [](char a, char b) {
        return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
    });
}

std::optional<std::string> ReadSmallFile(const std::string& path, std::size_t limit) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::string text(limit, '\0');
    text.resize(std::fread(text.data(), 1, limit, file));
    std::fclose(file);
    return text;
}

std::optional<ContainerHeader> ReadHeader(const std::string& path, std::uint64_t fileSize) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::uint8_t bytes[kContainerHeaderSize];
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    auto header = DecodeHeader(std::span<const std::uint8_t>(bytes, got));
    // A truncated or padded file is not a recording of ours.
    if (header && header->StoredFileSize() != fileSize) return std::nullopt;
    return header;
}

}  // namespace

std::span<const Recording> CardContents::Category(int category) const {
    if (category < 0 || category >= kCategoryCount) return {};
    return std::span<const Recording>(recordings)
        .subspan(categoryBegin[category], categoryBegin[category + 1] - categoryBegin[category]);
}

int CategoryOfLetter(char letter) {
    switch (letter) {
        case 'e':
        case 'E':
            return 0;
        case 'M':
        case 'P':
            return 2;
        case 'j':
        case 'J':
            return 3;
        default:
            return 1;
    }
}

std::string CardFolder() {
    std::string folder = EnvironmentValue(kCardVariable);
    if (!folder.empty()) return folder;
    const std::string libraryFolder = LibraryFolder();
    return JoinPath(libraryFolder.empty() ? std::string(".") : libraryFolder, kDefaultCardFolderName);
}

std::optional<CardDescriptor> ParseDescriptor(std::string_view text) {
    CardDescriptor descriptor;
    bool haveDisk = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        const auto equals = line.find('=');
        if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
        const std::string_view key = Trim(line.substr(0, equals));
        const std::string_view value = Trim(line.substr(equals + 1));
        if (key == "disk") {
            int number = 0;
            const auto [at, error] = std::from_chars(value.data(), value.data() + value.size(), number);
            haveDisk =
                error == std::errc() && at == value.data() + value.size() && number >= 1 && number <= 255;
            descriptor.diskNumber = haveDisk ? static_cast<std::uint8_t>(number) : 0;
        } else if (key == "label") {
            descriptor.label = std::string(value);
        }
    }
    if (!haveDisk) return std::nullopt;
    return descriptor;
}

std::optional<CardDescriptor> ReadDescriptor(const std::string& folder) {
    constexpr std::size_t kDescriptorLimit = 4096;
    const auto text = ReadSmallFile(JoinPath(folder, kDescriptorFileName), kDescriptorLimit);
    if (!text) return std::nullopt;
    return ParseDescriptor(*text);
}

std::shared_ptr<const CardContents> CardReader::Read(const std::string& folder) {
    auto descriptor = ReadDescriptor(folder);
    if (!descriptor) return nullptr;
    auto files = ListFiles(folder);
    if (!files) return nullptr;
    std::lock_guard lock(mutex_);
    if (folder != cachedFolder_) {
        headers_.clear();
        lastContents_.reset();
        cachedFolder_ = folder;
    }
    if (lastContents_ && *files == lastFiles_ && descriptor == lastDescriptor_) return lastContents_;
    lastFiles_ = *files;
    lastDescriptor_ = descriptor;
    auto contents = std::make_shared<CardContents>();
    contents->descriptor = std::move(*descriptor);

    // Only headers that were read are remembered: a read that failed (the
    // card pulled in the middle of this walk) is tried again next time, and
    // contents missing such a file are not reused.
    bool complete = true;
    std::unordered_map<std::string, CachedHeader> seen;
    for (const DirectoryEntry& file : *files) {
        if (!EndsWithRecordingExtension(file.name)) continue;
        const std::string name = file.name.substr(0, file.name.size() - kRecordingExtension.size());
        if (name.size() > kMaxRecordingNameLength) continue;
        const std::string path = JoinPath(folder, file.name);
        CachedHeader entry;
        const auto cached = headers_.find(file.name);
        if (cached != headers_.end() && cached->second.size == file.size &&
            cached->second.modified == file.modified) {
            entry = cached->second;
        } else {
            entry = {file.size, file.modified, ReadHeader(path, file.size)};
        }
        if (!entry.header) {
            complete = false;
            continue;
        }
        contents->recordings.push_back({name, path, *entry.header, CategoryOfLetter(entry.header->typeLetter)});
        seen.emplace(file.name, entry);
    }
    headers_ = std::move(seen);

    // "X.KRO" beside "X.kro" gives the name X twice: the first by file name stays.
    auto& recordings = contents->recordings;
    std::sort(recordings.begin(), recordings.end(), [](const Recording& a, const Recording& b) {
        return a.name != b.name ? a.name < b.name : a.path < b.path;
    });
    recordings.erase(std::unique(recordings.begin(), recordings.end(),
                                 [](const Recording& a, const Recording& b) { return a.name == b.name; }),
                     recordings.end());
    std::stable_sort(recordings.begin(), recordings.end(),
                     [](const Recording& a, const Recording& b) { return a.category < b.category; });
    for (int category = 0, at = 0; category <= kCategoryCount; ++category) {
        while (at < static_cast<int>(recordings.size()) && recordings[at].category < category) ++at;
        contents->categoryBegin[category] = static_cast<std::size_t>(at);
    }
    lastContents_ = complete ? contents : nullptr;
    return contents;
}

CardReader& SharedCardReader() {
    static CardReader reader;
    return reader;
}

}  // namespace kro::sim
