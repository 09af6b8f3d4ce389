// Helpers for the simulator's tests: the library loaded through the
// program's module loader, a scratch folder, environment variables set for
// one test, and small cards written with the container format.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/kro_api.h"
#include "device/module_loader.h"
#include "tests/unit/simulator/scoped_env.h"

namespace kro::simtest {

// A 32 x 16 JPEG picture, and the same with a comment naming `index`.
std::vector<std::uint8_t> TinyJpeg();
std::vector<std::uint8_t> TinyJpegFrame(std::uint32_t index);

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string Join(const std::string& name) const;

private:
    std::string path_;
};

std::vector<std::uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Every file and folder below `folder`, relative, sorted; empty if missing.
std::vector<std::string> FilesIn(const std::string& folder);
std::string EntryName(const RecordingEntry& entry);

// A recording of 32 x 16 frames, each frame unique.
struct TestRecording {
    std::string name;
    char letter = 'I';
    std::int32_t durationSeconds = 1;
    std::uint8_t fps = 2;
    std::uint32_t frontFrames = 2;
    std::uint32_t rearFrames = 1;
    std::int32_t gSensor = 0;
    std::uint32_t frontDeclaredBytes = 0;
    std::uint32_t rearDeclaredBytes = 0;
};
std::vector<std::uint8_t> RecordingFile(const TestRecording& recording);
// Writes the recordings and then the descriptor into `folder`.
void WriteCard(const std::string& folder, int diskNumber, const std::vector<TestRecording>& recordings);

// The simulator library file in the test programs' folder.
std::string LibraryBesideTests();

struct Listing {
    std::int32_t result = 0;
    std::vector<RecordingEntry> entries;
    std::vector<std::int32_t> auxiliary;
    std::vector<std::uint32_t> sizes;
    std::vector<std::int32_t> durations;
    std::vector<std::string> Names() const;
};

class SimLibrary {
public:
    explicit SimLibrary(const std::string& path = LibraryBesideTests());
    ~SimLibrary();
    SimLibrary(const SimLibrary&) = delete;
    SimLibrary& operator=(const SimLibrary&) = delete;

    bool Loaded() const { return module_ != nullptr && create != nullptr; }
    void* Symbol(const char* name) const;
    // Count, then list with that capacity, as the program does.
    Listing List(KroHandle handle, std::uint8_t category) const;

    KroCreateFn create = nullptr;
    KroDeleteFn destroy = nullptr;
    KroCheckDeviceFn checkDevice = nullptr;
    KroGetFileFlagFn getFileFlag = nullptr;
    KroGetFileCountFn getFileCount = nullptr;
    KroGetFileListFn getFileList = nullptr;
    KroGetFileIndexInfoFn getFileIndexInfo = nullptr;
    KroMakeFileFn makeAviFile = nullptr;
    KroMakeFileFn makeKroFile = nullptr;
    KroMakePictureFileFn makePictureFile = nullptr;

private:
    template <typename Fn>
    Fn Entry(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }

    void* module_ = nullptr;
};

// Hands the program's binding our library whatever file name it asks for.
class RedirectingLoader final : public ModuleLoader {
public:
    Module Load(const std::string&) override { return SystemModuleLoader().Load(LibraryBesideTests()); }
    void* Symbol(Module module, const char* name) override { return SystemModuleLoader().Symbol(module, name); }
    void Free(Module module) override { SystemModuleLoader().Free(module); }
    std::string ExecutablePath() override { return SystemModuleLoader().ExecutablePath(); }
};

// A card folder and an export folder of its own for each test, both named
// to the library through the environment, no fault switches, one instance.
class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void SetFaults(const std::string& faults);

    TempFolder root_;
    SimLibrary library_;
    std::string card_;
    std::string exports_;
    KroHandle handle_ = 0;

private:
    std::optional<ScopedEnv> cardVariable_;
    std::optional<ScopedEnv> exportVariable_;
    std::optional<ScopedEnv> faultsVariable_;
};

}  // namespace kro::simtest
