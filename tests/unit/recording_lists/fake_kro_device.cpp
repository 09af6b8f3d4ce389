#include "fake_kro_device.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

namespace kro::fake {
namespace {

FakeKroDevice* current = nullptr;

constexpr std::chrono::seconds kCallersLeaveWait{10};

KroHandle KRO_CALL Create() {
    return 1;
}
std::int32_t KRO_CALL Delete(KroHandle) {
    return current->deleteInstance ? current->deleteInstance() : 1;
}
std::int32_t KRO_CALL Unsupported() {
    return 0;
}

std::int32_t KRO_CALL GetFileFlag(KroHandle, char* area, std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) {
    return current->getFileFlag ? current->getFileFlag(area, a, b, c) : 0;
}

std::int32_t KRO_CALL GetFileCount(KroHandle, std::uint8_t category) {
    return current->getFileCount ? current->getFileCount(category) : 0;
}

std::int32_t KRO_CALL GetFileList(KroHandle, std::uint8_t category, std::int32_t capacity,
                                  RecordingEntry* entries, std::int32_t* auxiliary, std::uint32_t* sizes,
                                  std::int32_t* durations) {
    return current->getFileList
               ? current->getFileList(category, capacity, entries, auxiliary, sizes, durations)
               : 0;
}

std::int32_t KRO_CALL GetFileIndexInfo(KroHandle, std::uint8_t category, const char* name,
                                       RecordingIndexInfo* info) {
    return current->getFileIndexInfo ? current->getFileIndexInfo(category, name, info) : 0;
}

std::int32_t KRO_CALL MakeAviFile(KroHandle, const char* name) {
    return current->makeAviFile ? current->makeAviFile(name) : 0;
}

std::int32_t KRO_CALL MakeKroFile(KroHandle, const char* name) {
    return current->makeKroFile ? current->makeKroFile(name) : 0;
}

std::int32_t KRO_CALL MakePictureFile(KroHandle, const char* name, std::int32_t* size, std::uint8_t* buffer) {
    return current->makePictureFile ? current->makePictureFile(name, size, buffer) : 0;
}

template <typename Fn>
void* Address(Fn fn) {
    return reinterpret_cast<void*>(fn);
}

const std::map<std::string, void*>& Exports() {
    static const std::map<std::string, void*> exports = {
        {"KRO_Create", Address(&Create)},
        {"KRO_Delete", Address(&Delete)},
        {"KRO_Get_File_Flag", Address(&GetFileFlag)},
        {"KRO_Get_File_Cnt", Address(&GetFileCount)},
        {"KRO_Get_File_List_tt", Address(&GetFileList)},
        {"KRO_Get_File_Index_Info", Address(&GetFileIndexInfo)},
        {"KRO_Make_Avi_File", Address(&MakeAviFile)},
        {"KRO_Make_Kro_File", Address(&MakeKroFile)},
        {"KRO_Make_Picture_File", Address(&MakePictureFile)},
    };
    return exports;
}

int moduleToken = 0;

}  // namespace

ModuleLoader::Module FakeKroDevice::Loader::Load(const std::string&) {
    return &moduleToken;
}

void* FakeKroDevice::Loader::Symbol(Module, const char* name) {
    if (missing_.count(name) != 0) return nullptr;
    const auto found = Exports().find(name);
    return found != Exports().end() ? found->second : Address(&Unsupported);
}

FakeKroDevice::FakeKroDevice(std::set<std::string> missing) : loader_(std::move(missing)), library_(loader_) {
    current = this;
    library_.Load("");
}

FakeKroDevice::~FakeKroDevice() {
    // A thread the test started may still be on its way out of the binding
    // (a details query's thread lets go of it after it has answered): the
    // hooks and the binding must outlive every such caller.
    if (!library_.CloseWithin(kCallersLeaveWait)) {
        std::fprintf(stderr, "FakeKroDevice: a caller stayed inside the library; the test left a thread behind\n");
        std::abort();
    }
    current = nullptr;
}

void FakeKroDevice::WriteRecordings(const std::vector<Recording>& recordings, RecordingEntry* entries,
                                    std::uint32_t* sizes, std::int32_t* durations) {
    for (std::size_t i = 0; i < recordings.size(); ++i) {
        const Recording& recording = recordings[i];
        std::memcpy(entries[i].name, recording.name.data(),
                    std::min(recording.name.size(), sizeof entries[i].name));
        entries[i].typeLetter = recording.letter;
        sizes[i] = recording.size;
        durations[i] = recording.duration;
    }
}

void FakeKroDevice::SetCard(const std::array<std::vector<Recording>, 4>& card) {
    getFileCount = [card](std::uint8_t category) {
        return category < 4 ? static_cast<std::int32_t>(card[category].size()) : 0;
    };
    getFileList = [card](std::uint8_t category, std::int32_t capacity, RecordingEntry* entries, std::int32_t*,
                         std::uint32_t* sizes, std::int32_t* durations) {
        if (category >= 4) return 0;
        const auto& recordings = card[category];
        const auto written = std::min(static_cast<std::int32_t>(recordings.size()), capacity);
        WriteRecordings({recordings.begin(), recordings.begin() + written}, entries, sizes, durations);
        return written;
    };
}

}  // namespace kro::fake
