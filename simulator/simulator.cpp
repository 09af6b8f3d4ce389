#include "simulator/simulator.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>

#include "simulator/card.h"
#include "simulator/conversions.h"
#include "simulator/faults.h"
#include "simulator/instances.h"
#include "simulator/names.h"
#include "simulator/sim_platform.h"

namespace kro::sim {
namespace {

constexpr std::uint8_t kFormatVersion = 1;

// Calls inside the library now, counted while `reentrancy` is on, and the
// export that entered last.
std::atomic<int> callsInside{0};
std::atomic<const char*> lastEntered{""};

// Appends one record to the file the variable names.
void Record(const std::string& line, const char* variable = kReentrancyLogVariable) {
    const std::string path = EnvironmentValue(variable);
    if (path.empty()) return;
    if (std::FILE* log = std::fopen(path.c_str(), "a")) {
        std::fprintf(log, "%s\n", line.c_str());
        std::fclose(log);
    }
}

void RecordReentry(const char* exportName, const char* other) {
    Record(std::string(exportName) + " entered while " + other + " was inside");
}

// The thread that made the last instance: a library that keeps per-thread
// state wants every call from it.
std::atomic<std::thread::id> creatingThread{};

// Milliseconds since the Unix epoch by the wall clock, which every process
// reads alike: a hang that `hang-until` ends, ends in each host at once.
std::int64_t WallMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// True while a call that `hang` names must stay inside: for as long as the
// switch names it, and with `hang-until` only until that moment (then it and
// every later call answer: a library that comes back).
bool StillHung(unsigned hangBit) {
    const Faults now = CurrentFaults();
    if ((now.hangCalls & hangBit) == 0 && !now.HangsAtRandom(hangBit)) return false;
    return now.hangUntilMilliseconds <= 0 || WallMilliseconds() < now.hangUntilMilliseconds;
}

// What a closed parser does on a card it cannot read: a write through a bad
// pointer, which the system raises as an access violation.
[[noreturn]] void Crash() { RaiseAccessViolation(); }

void RecordFault(const char* exportName, const char* what) {
    Record(std::to_string(WallMilliseconds()) + "\t" + exportName + "\t" + what, kFaultLogVariable);
}

// The next draw of the random switches in this process. The process id is
// mixed in, so that each fresh host draws afresh rather than repeating the
// last one's first calls.
std::uint64_t NextDraw() {
    static std::atomic<std::uint64_t> draws{0};
    return (std::uint64_t{CurrentProcessId()} << 40) ^ draws.fetch_add(1);
}

// One call into the library: the switches of this call, read once; with
// `reentrancy` the call counts as inside until it returns (a second one
// entering meanwhile is recorded); then the delay `slow` asks for; a call
// that `hang` names, or that the random rates draw a hang for, stops there
// (StillHung); and one that `crash` names, or draws a crash for, faults.
// Both are recorded in the fault log first, and a hung call that comes back
// again when it returns.
class CallScope {
public:
    CallScope(const char* exportName, unsigned hangBit) : faults(CurrentFaults()) {
        if (faults.threadAffinity && std::strcmp(exportName, "KRO_Create") != 0 &&
            std::this_thread::get_id() != creatingThread.load()) {
            Record(std::string(exportName) + " called from a thread other than KRO_Create's");
        }
        if (faults.reentrancy) {
            counted_ = true;
            const char* other = lastEntered.exchange(exportName);
            if (callsInside.fetch_add(1) > 0) RecordReentry(exportName, other);
        }
        if (faults.slowMilliseconds > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(faults.slowMilliseconds));
        const RandomFault drawn = DrawRandomFault(faults, hangBit, hangBit != 0 ? NextDraw() : 0);
        if (((faults.hangCalls & hangBit) != 0 || drawn == RandomFault::Hang) && StillHung(hangBit)) {
            RecordFault(exportName, "hang");
            while (StillHung(hangBit)) std::this_thread::sleep_for(std::chrono::milliseconds(50));
            // Let go before anything ended the process: a hang no deadline cut.
            RecordFault(exportName, "answered");
        }
        if ((faults.crashCalls & hangBit) != 0 || drawn == RandomFault::Crash) {
            RecordFault(exportName, "crash");
            Crash();
        }
    }
    ~CallScope() {
        if (counted_) --callsInside;
    }
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

    const Faults faults;

private:
    bool counted_ = false;
};

// A flaky card is in during even periods and out during odd ones.
bool FlakyCardIsOut(const Faults& faults) {
    if (faults.cardPeriodMilliseconds <= 0) return false;
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return (now.count() / faults.cardPeriodMilliseconds) % 2 == 1;
}

std::optional<CardDescriptor> PresentDescriptor(const Faults& faults) {
    if (FlakyCardIsOut(faults)) return std::nullopt;
    return ReadDescriptor(CardFolder());
}

std::shared_ptr<const CardContents> PresentCard(const Faults& faults) {
    if (FlakyCardIsOut(faults)) return nullptr;
    return SharedCardReader().Read(CardFolder());
}

struct Found {
    const Recording* recording = nullptr;
    std::string listedName;
};

// The recording listed under `name` with these switches, else the one whose
// own name it is.
Found FindRecording(const CardContents& card, const char* name, const Faults& faults) {
    const CallerName wanted = ReadCallerName(name);
    if (!wanted.valid) return {};
    for (int category = 0; category < kCategoryCount; ++category) {
        const auto recordings = card.Category(category);
        for (std::size_t i = 0; i < recordings.size(); ++i) {
            std::string listed = PresentedName(recordings[i], category, i, faults);
            if (listed == wanted.text) return {&recordings[i], std::move(listed)};
        }
    }
    for (const Recording& recording : card.recordings) {
        if (recording.name == wanted.text) return {&recording, recording.name};
    }
    return {};
}

std::uint16_t Clamp16(std::uint32_t value) {
    return static_cast<std::uint16_t>(
        std::min<std::uint32_t>(value, std::numeric_limits<std::uint16_t>::max()));
}

void FillEntry(const Recording& recording, std::string_view listedName, int category, RecordingEntry& entry) {
    std::memset(&entry, 0, sizeof entry);
    std::memcpy(entry.name, listedName.data(), std::min(listedName.size(), sizeof entry.name));
    entry.typeLetter = recording.header.typeLetter;
    entry.reserved[0] = static_cast<std::uint8_t>(category);
    entry.reserved[1] = recording.header.framesPerSecond;
}

// The list call's result as the switches have it.
std::int32_t ListResult(std::int32_t written, std::int32_t capacity, const Faults& faults) {
    if (faults.listNegative > 0) return -faults.listNegative;
    if (faults.listOvercount > 0) {
        const std::int64_t claimed = std::int64_t{std::max(capacity, 0)} + faults.listOvercount;
        return static_cast<std::int32_t>(
            std::min<std::int64_t>(claimed, std::numeric_limits<std::int32_t>::max()));
    }
    return written;
}

}  // namespace

KroHandle Create() {
    const CallScope call("KRO_Create", 0);
    const Faults& faults = call.faults;
    if (faults.createFails) return 0;
    creatingThread.store(std::this_thread::get_id());
    return Instances().Create();
}

std::int32_t Delete(KroHandle handle) {
    const CallScope call("KRO_Delete", 0);
    return Instances().Delete(handle) ? 1 : 0;
}

std::int32_t CheckDevice(KroHandle handle, std::uint8_t* deviceValue) {
    const CallScope call("KRO_Check_Kro_Device", kHangCheck);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle) || deviceValue == nullptr) return 0;
    const auto descriptor = PresentDescriptor(faults);
    *deviceValue = descriptor ? descriptor->diskNumber : 0;
    return descriptor ? 1 : 0;
}

std::int32_t GetFileFlag(KroHandle handle, char* area, std::uint8_t* present, std::uint8_t* version,
                         std::uint8_t* reserved) {
    const CallScope call("KRO_Get_File_Flag", 0);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle)) return 0;
    const auto descriptor = PresentDescriptor(faults);
    if (area != nullptr) {
        std::memset(area, 0, kFileFlagAreaSize);
        if (descriptor)
            std::memcpy(area, descriptor->label.data(),
                        std::min(descriptor->label.size(), kFileFlagAreaSize - 1));
    }
    if (present != nullptr) *present = descriptor ? 1 : 0;
    if (version != nullptr) *version = kFormatVersion;
    if (reserved != nullptr) *reserved = 0;
    return descriptor ? 1 : 0;
}

std::int32_t GetFileCount(KroHandle handle, std::uint8_t category) {
    const CallScope call("KRO_Get_File_Cnt", kHangList);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle)) return 0;
    const auto card = PresentCard(faults);
    return card ? static_cast<std::int32_t>(card->Category(category).size()) : 0;
}

std::int32_t GetFileList(KroHandle handle, std::uint8_t category, std::int32_t capacity,
                         RecordingEntry* entries, std::int32_t* auxiliary, std::uint32_t* sizes,
                         std::int32_t* durations) {
    const CallScope call("KRO_Get_File_List_tt", kHangList);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle)) return 0;
    std::int32_t written = 0;
    const auto card = entries != nullptr && capacity > 0 ? PresentCard(faults) : nullptr;
    if (card) {
        const auto recordings = card->Category(category);
        const auto count = std::min<std::size_t>(recordings.size(), static_cast<std::size_t>(capacity));
        for (std::size_t i = 0; i < count; ++i) {
            const Recording& recording = recordings[i];
            FillEntry(recording, PresentedName(recording, category, i, faults), category, entries[i]);
            if (auxiliary != nullptr) auxiliary[i] = static_cast<std::int32_t>(i);
            if (sizes != nullptr)
                sizes[i] = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(recording.header.ReportedSize(), UINT32_MAX));
            if (durations != nullptr) durations[i] = recording.header.durationSeconds;
        }
        written = static_cast<std::int32_t>(count);
    }
    return ListResult(written, capacity, faults);
}

std::int32_t GetFileIndexInfo(KroHandle handle, std::uint8_t, const char* name, RecordingIndexInfo* info) {
    const CallScope call("KRO_Get_File_Index_Info", kHangInfo);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle) || info == nullptr) return 0;
    std::memset(info, 0, sizeof *info);
    const auto card = PresentCard(faults);
    const Found found = card ? FindRecording(*card, name, faults) : Found{};
    if (found.recording == nullptr) return 0;
    const ContainerHeader& h = found.recording->header;
    std::memcpy(info->reserved0, found.recording->name.data(),
                std::min(found.recording->name.size(), kMaxRecordingNameLength));
    info->reserved0[16] = static_cast<std::uint8_t>(h.typeLetter);
    info->framesPerSecond = h.framesPerSecond;
    info->frontFrames = Clamp16(h.frontFrames);
    info->rearFrames = Clamp16(h.rearFrames);
    info->frontBytes = h.FrontBytes();
    info->rearBytes = h.RearBytes();
    info->frontHeight = h.frontHeight;
    info->rearHeight = h.rearHeight;
    info->frontWidth = h.frontWidth;
    info->rearWidth = h.rearWidth;
    info->gSensor = h.gSensor;
    return 1;
}

std::int32_t MakeAviFile(KroHandle handle, const char* name) {
    const CallScope call("KRO_Make_Avi_File", kHangAvi);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle)) return 0;
    const auto card = PresentCard(faults);
    const Found found = card ? FindRecording(*card, name, faults) : Found{};
    if (found.recording == nullptr) return 0;
    return ConvertToAvi(*found.recording, found.listedName, faults.conversionsFail) ? 1 : 0;
}

std::int32_t MakeKroFile(KroHandle handle, const char* name) {
    const CallScope call("KRO_Make_Kro_File", kHangBackup);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle)) return 0;
    const auto card = PresentCard(faults);
    const Found found = card ? FindRecording(*card, name, faults) : Found{};
    if (found.recording == nullptr) return 0;
    return BackUp(*found.recording, found.listedName, faults.conversionsFail) ? 1 : 0;
}

std::int32_t MakePictureFile(KroHandle handle, const char* name, std::int32_t* size, std::uint8_t* buffer) {
    const CallScope call("KRO_Make_Picture_File", kHangPicture);
    const Faults& faults = call.faults;
    if (!Instances().IsLive(handle) || size == nullptr || buffer == nullptr) return 0;
    *size = 0;
    if (faults.conversionsFail) return 0;
    const auto card = PresentCard(faults);
    const Found found = card ? FindRecording(*card, name, faults) : Found{};
    if (found.recording == nullptr) return 0;
    // A picture larger than the caller's buffer is refused, never cut.
    const auto picture = ReadPicture(*found.recording, static_cast<std::uint32_t>(kPictureBufferSize));
    if (!picture) return 0;
    std::memcpy(buffer, picture->data(), picture->size());
    // A library that trusts its own idea of the buffer's size; the reported
    // length stays the picture's, so the caller cannot tell from it.
    if (faults.pictureOverrun > 0)
        std::memset(buffer + kPictureBufferSize, 0x5A, static_cast<std::size_t>(faults.pictureOverrun));
    *size = faults.pictureLength > 0 ? static_cast<std::int32_t>(faults.pictureLength)
                                     : static_cast<std::int32_t>(picture->size());
    return 1;
}

}  // namespace kro::sim
