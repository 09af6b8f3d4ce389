// Helpers for tests that load the test doubles: scratch folders, placing a
// double under the library's file name, reading its call log, asking the
// system whether a library file is loaded, and steering a loaded double.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "device/kro_api.h"
#include "device/module_loader.h"
#include "tests/doubles/double_controls.h"

namespace kro::test {

// File names of the built doubles, found in the program's folder.
inline constexpr const char* kCompleteDouble = KRO_DOUBLE_FILE_COMPLETE;
inline constexpr const char* kNoOptionalDouble = KRO_DOUBLE_FILE_NO_OPTIONAL;
inline constexpr const char* kCreateFailsDouble = KRO_DOUBLE_FILE_CREATE_FAILS;
inline constexpr const char* kBlockingCheckDouble = KRO_DOUBLE_FILE_BLOCKING_CHECK;
#if defined(KRO_DOUBLE_FILE_STDCALL)
// 32-bit Windows: the complete double built __stdcall, exported undecorated
// and exported only under the decorated names "_Name@N".
inline constexpr const char* kStdcallDouble = KRO_DOUBLE_FILE_STDCALL;
inline constexpr const char* kStdcallDecoratedDouble = KRO_DOUBLE_FILE_STDCALL_DECORATED;
inline constexpr const char* kConventionDoubles[] = {kCompleteDouble, kStdcallDouble,
                                                     kStdcallDecoratedDouble};
#else
inline constexpr const char* kConventionDoubles[] = {kCompleteDouble};
#endif
// The stand-in program that binds the library as the product does.
inline constexpr const char* kLibraryProbe = KRO_DOUBLE_FILE_PROBE;
// The instance handle the doubles' KRO_Create returns.
inline constexpr KroHandle kDoubleInstance = 4660;

// Folder of the running test program.
std::filesystem::path ProgramFolder();

// A fresh, empty folder under the system's temporary folder, removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& label);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path as the binding's Load expects its folder argument: UTF-8.
    std::string Text() const {
        const std::u8string text = path_.u8string();
        return std::string(text.begin(), text.end());
    }

private:
    std::filesystem::path path_;
};

// Copies a built double (or program) from the program's folder into folder
// under the given name; returns the new file's path.
std::filesystem::path PlaceCopy(const std::filesystem::path& folder, const char* builtName,
                                const char* asName = kKroLibraryFileName);

// The lines a double placed at library has logged so far (empty when none).
std::vector<std::string> CallLog(const std::filesystem::path& library);

// Whether the system has the library file loaded into this process.
bool IsLibraryLoaded(const std::filesystem::path& library);

// Waits until condition holds; false when it still does not after 30 s
// (a guard against a hanging test, not a timing check).
bool WaitUntil(const std::function<bool()>& condition);

// The KroDouble_* controls of a loaded double. Holds its own reference to
// the library while it exists.
class DoubleControls {
public:
    explicit DoubleControls(const std::filesystem::path& library);
    ~DoubleControls();
    DoubleControls(const DoubleControls&) = delete;
    DoubleControls& operator=(const DoubleControls&) = delete;

    bool Valid() const;
    void SetDeviceValue(std::uint8_t value) const { setDeviceValue_(value); }
    std::int32_t ChecksEntered() const { return checksEntered_(); }
    void ReleaseChecks() const { releaseChecks_(); }

private:
    ModuleLoader::Module module_ = nullptr;
    void(KRO_CONTROL_CALL* setDeviceValue_)(std::uint8_t) = nullptr;
    std::int32_t(KRO_CONTROL_CALL* checksEntered_)() = nullptr;
    void(KRO_CONTROL_CALL* releaseChecks_)() = nullptr;
};

}  // namespace kro::test
