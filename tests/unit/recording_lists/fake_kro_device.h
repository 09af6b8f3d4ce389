// A device library under the test's control: a KroLibrary bound through a
// fake module loader to plain functions that forward to the hooks below.
// One instance at a time (the exports are free functions).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "device/in_process_library.h"

namespace kro::fake {

// One recording as the fake card holds it.
struct Recording {
    std::string name;  // up to 16 bytes; 16 bytes leave no terminator
    char letter = 'E';
    std::uint32_t size = 0;
    std::int32_t duration = 0;
};

class FakeKroDevice {
public:
    // Binds the library; exports named in `missing` are not found.
    explicit FakeKroDevice(std::set<std::string> missing = {});
    ~FakeKroDevice();
    FakeKroDevice(const FakeKroDevice&) = delete;
    FakeKroDevice& operator=(const FakeKroDevice&) = delete;

    KroLibrary& Library() { return library_; }

    // A well-behaved card: the counts and list replies for these recordings,
    // listed per category code.
    void SetCard(const std::array<std::vector<Recording>, 4>& card);

    // Writes recordings into a list call's outputs as the library does.
    static void WriteRecordings(const std::vector<Recording>& recordings, RecordingEntry* entries,
                                std::uint32_t* sizes, std::int32_t* durations);

    // KRO_Delete; 1 when unset.
    std::function<std::int32_t()> deleteInstance;
    std::function<std::int32_t(char*, std::uint8_t*, std::uint8_t*, std::uint8_t*)> getFileFlag;
    std::function<std::int32_t(std::uint8_t)> getFileCount;
    std::function<std::int32_t(std::uint8_t, std::int32_t, RecordingEntry*, std::int32_t*, std::uint32_t*,
                               std::int32_t*)>
        getFileList;
    std::function<std::int32_t(std::uint8_t, const char*, RecordingIndexInfo*)> getFileIndexInfo;
    std::function<std::int32_t(const char*)> makeAviFile;
    std::function<std::int32_t(const char*)> makeKroFile;
    std::function<std::int32_t(const char*, std::int32_t*, std::uint8_t*)> makePictureFile;

private:
    class Loader final : public ModuleLoader {
    public:
        explicit Loader(std::set<std::string> missing) : missing_(std::move(missing)) {}
        Module Load(const std::string& path) override;
        void* Symbol(Module module, const char* name) override;
        void Free(Module) override {}
        // Any path will do: Load answers every one.
        std::string ExecutablePath() override { return "C:\\test\\program.exe"; }

    private:
        std::set<std::string> missing_;
    };

    Loader loader_;
    InProcessLibrary library_;
};

}  // namespace kro::fake
