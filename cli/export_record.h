// The record of exported recordings that `--new` reads: which recordings
// (list, size, name) were exported into the export folder. It lives in that
// folder as kExportRecordName and is replaced whole, through a temporary
// file, after each success, so it is either the old or the new record.
//
// The file is text:
//   KroFileListCLI export record 1
//   <list code 0-3> <size in bytes> <name as hexadecimal bytes>    one per recording
//   end <entries> <FNV-1a 64 of every byte before this line, 16 hex digits>
// A record that does not read back exactly so (cut short, edited, another
// file under that name) is damaged: it is not trusted at all, and the next
// save rebuilds it from what is exported from then on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <tuple>

#include "export/export_file_system.h"
#include "recording_lists/recording_types.h"

namespace kro::cli {

inline constexpr const char* kExportRecordName = "KroFileListCLI.record";
// A longer file is no record of ours.
inline constexpr std::size_t kMaxRecordBytes = 8 * 1024 * 1024;

enum class RecordState {
    Missing,  // no record yet
    Valid,
    Damaged,  // present but not trusted; starts empty
};

class ExportRecord {
public:
    // Reads the text of a record file (none when there is no file).
    static ExportRecord Parse(const std::optional<std::string>& text);

    RecordState State() const { return state_; }
    bool Contains(RecordingCategory category, std::uint32_t bytes, const std::string& name) const;
    void Add(RecordingCategory category, std::uint32_t bytes, const std::string& name);
    std::size_t Size() const { return entries_.size(); }
    std::string Serialize() const;

    // Replaces the record file in `folder` (ending with a separator) with
    // this record; false when the write failed (the earlier file stays).
    bool Save(const std::string& folder, ExportFileSystem& fileSystem) const;

private:
    using Entry = std::tuple<int, std::uint32_t, std::string>;
    std::set<Entry> entries_;
    RecordState state_ = RecordState::Missing;
};

}  // namespace kro::cli
