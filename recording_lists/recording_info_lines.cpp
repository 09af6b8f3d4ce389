#include "recording_lists/recording_info_lines.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace kro {
namespace {

constexpr const char* kRuleLine = "___________________________________________________";

// Headers by category code; each word has 19 spaces before it and 18 after.
constexpr const char* kHeaders[kCategoryCount] = {
    "                   Event file Info                  ",
    "                   Normal file Info                  ",
    "                   Park file Info                  ",
    "                   Photo file Info                  ",
};

// Little-endian fields read byte by byte, whatever the host's order. Every
// value shown fits an int: 8- and 16-bit fields, a 32-bit size in whole MiB,
// and the signed G-sensor value.
class InfoFields {
public:
    explicit InfoFields(const RecordingIndexInfo& info)
        : bytes_(reinterpret_cast<const std::uint8_t*>(&info)) {}

    int U8(std::size_t offset) const { return bytes_[offset]; }
    int U16(std::size_t offset) const { return bytes_[offset] | (bytes_[offset + 1] << 8); }
    int Mebibytes(std::size_t offset) const { return static_cast<int>(U32(offset) >> 20); }
    int I32(std::size_t offset) const { return static_cast<std::int32_t>(U32(offset)); }

private:
    std::uint32_t U32(std::size_t offset) const {
        return static_cast<std::uint32_t>(U16(offset)) | (static_cast<std::uint32_t>(U16(offset + 2)) << 16);
    }

    const std::uint8_t* bytes_;
};

std::string Line(const char* format, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Line(const char* format, int width, int height) {
    char text[64];
    std::snprintf(text, sizeof text, format, width, height);
    return text;
}

}  // namespace

std::optional<RecordingIndexInfo> QueryRecordingInfo(const KroLibrary& library, RecordingCategory category,
                                                     const std::string& name, std::chrono::milliseconds turnWait,
                                                     std::chrono::milliseconds answerWait) {
    // Shared with the asking thread, which may outlive this call when the
    // library does not answer in time.
    struct Query {
        std::mutex mutex;
        std::condition_variable answered;
        bool done = false;
        std::optional<RecordingIndexInfo> info;
    };
    const auto query = std::make_shared<Query>();
    try {
        std::thread([query, use = KroLibrary::Use(library), &library, category, name, turnWait] {
            RecordingIndexInfo info{};
            const auto result =
                library.TryGetFileIndexInfo(turnWait, static_cast<std::uint8_t>(category), name.c_str(), &info);
            // A library whose host crashed or hung in the call has given no
            // details: its zeros are not shown as details.
            const CallFailure failure = KroLibrary::LastCallFailure();
            const bool answered =
                result && failure != CallFailure::HostCrashed && failure != CallFailure::HostHung &&
                failure != CallFailure::HostUnavailable;
            const std::lock_guard lock(query->mutex);
            if (answered) query->info = info;
            query->done = true;
            query->answered.notify_one();
        }).detach();
    } catch (const std::exception&) {
        return std::nullopt;  // no thread to ask with
    }
    std::unique_lock lock(query->mutex);
    if (!query->answered.wait_for(lock, turnWait + answerWait, [&] { return query->done; })) return std::nullopt;
    return query->info;
}

std::vector<std::string> BuildRecordingInfoLines(int code, std::string_view name,
                                                 const RecordingIndexInfo& info) {
    std::vector<std::string> lines{kRuleLine};
    const bool known = code >= 0 && code < kCategoryCount;
    if (known) lines.emplace_back(kHeaders[code]);
    lines.push_back("Filename : " + std::string(name));
    if (code == CategoryIndex(RecordingCategory::Photo)) return lines;

    const InfoFields field(info);
    using Info = RecordingIndexInfo;
    lines.push_back(Line("Front frame : %d", field.U16(offsetof(Info, frontFrames))));
    lines.push_back(Line("Rear frame : %d", field.U16(offsetof(Info, rearFrames))));
    lines.push_back(Line("Front size : %dM", field.Mebibytes(offsetof(Info, frontBytes))));
    lines.push_back(Line("Rear size : %dM", field.Mebibytes(offsetof(Info, rearBytes))));
    lines.push_back(Line("fps : %d", field.U8(offsetof(Info, framesPerSecond))));
    lines.push_back(Line("G-Sen : %d", field.I32(offsetof(Info, gSensor))));
    lines.push_back(Line("Front resolution : %d x %d", field.U16(offsetof(Info, frontWidth)),
                         field.U16(offsetof(Info, frontHeight))));
    lines.push_back(Line("Rear resolution : %d x %d", field.U16(offsetof(Info, rearWidth)),
                         field.U16(offsetof(Info, rearHeight))));
    return lines;
}

}  // namespace kro
