#include "cli/export_record.h"

#include <charconv>
#include <vector>

#include "export/file_name_check.h"

namespace kro::cli {
namespace {

constexpr std::string_view kHeader = "KroFileListCLI export record 1\n";
constexpr char kHexDigits[] = "0123456789abcdef";

std::uint64_t Fnv1a64(std::string_view bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

std::string Hex(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        text += kHexDigits[c >> 4];
        text += kHexDigits[c & 15];
    }
    return text;
}

std::string Hex64(std::uint64_t value) {
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kHexDigits[value & 15];
    return text;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper case is never written, so it is never read
}

std::optional<std::string> Unhex(std::string_view text) {
    if (text.empty() || text.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]), low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

// A plain decimal number without sign or leading zeros.
template <typename T>
std::optional<T> Decimal(std::string_view text) {
    if (text.empty() || (text.size() > 1 && text[0] == '0')) return std::nullopt;
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= line.size()) {
        const std::size_t space = line.find(' ', start);
        const std::size_t end = space == std::string_view::npos ? line.size() : space;
        fields.push_back(line.substr(start, end - start));
        if (space == std::string_view::npos) break;
        start = space + 1;
    }
    return fields;
}

}  // namespace

ExportRecord ExportRecord::Parse(const std::optional<std::string>& text) {
    ExportRecord record;
    if (!text) return record;
    ExportRecord damaged;
    damaged.state_ = RecordState::Damaged;
    const std::string_view all(*text);
    if (all.size() > kMaxRecordBytes || all.substr(0, kHeader.size()) != kHeader) return damaged;

    std::size_t position = kHeader.size();
    while (true) {
        const std::size_t end = all.find('\n', position);
        if (end == std::string_view::npos) return damaged;  // cut short: no end line
        const std::string_view line = all.substr(position, end - position);
        const std::vector<std::string_view> fields = Fields(line);
        if (fields.size() == 3 && fields[0] == "end") {
            const auto count = Decimal<std::size_t>(fields[1]);
            if (!count || *count != record.entries_.size()) return damaged;
            if (fields[2] != Hex64(Fnv1a64(all.substr(0, position)))) return damaged;
            if (end + 1 != all.size()) return damaged;  // nothing may follow
            record.state_ = RecordState::Valid;
            return record;
        }
        if (fields.size() != 3 || fields[0].size() != 1 || fields[0][0] < '0' || fields[0][0] > '3')
            return damaged;
        const auto bytes = Decimal<std::uint32_t>(fields[1]);
        const auto name = Unhex(fields[2]);
        // Only names the export could have written are believed.
        if (!bytes || !name || !IsPlainFileName(*name)) return damaged;
        if (!record.entries_.emplace(fields[0][0] - '0', *bytes, *name).second) return damaged;
        position = end + 1;
    }
}

bool ExportRecord::Contains(RecordingCategory category, std::uint32_t bytes, const std::string& name) const {
    return entries_.count({CategoryIndex(category), bytes, name}) != 0;
}

void ExportRecord::Add(RecordingCategory category, std::uint32_t bytes, const std::string& name) {
    entries_.emplace(CategoryIndex(category), bytes, name);
}

std::string ExportRecord::Serialize() const {
    std::string text(kHeader);
    for (const auto& [category, bytes, name] : entries_) {
        text += std::to_string(category) + ' ' + std::to_string(bytes) + ' ' + Hex(name) + '\n';
    }
    text += "end " + std::to_string(entries_.size()) + ' ' + Hex64(Fnv1a64(text)) + '\n';
    return text;
}

bool ExportRecord::Save(const std::string& folder, ExportFileSystem& fileSystem) const {
    const std::string text = Serialize();
    return fileSystem.WriteFileReplacing(folder, folder + kExportRecordName,
                                         reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

}  // namespace kro::cli
