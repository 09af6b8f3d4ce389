// A stand-in device library for the binding's and the poller's tests. It
// exports the 32 names of the device library; every call is appended as one
// line to a log file beside the library ("<library path>.log"), so a test
// sees which copy was loaded and in which order the calls came. Variants,
// chosen at build time:
//   KRO_DOUBLE_NO_OPTIONAL     lacks the four optional exports;
//   KRO_DOUBLE_CREATE_FAILS    KRO_Create returns 0;
//   KRO_DOUBLE_BLOCKING_CHECK  KRO_Check_Kro_Device blocks until the test
//                              releases it or a configurable time has passed;
//   KRO_LIBRARY_STDCALL        (32-bit Windows) the exports are __stdcall;
//   KRO_DOUBLE_DEF_FILE_EXPORTS  only a module-definition file names the
//                              exports, so they carry exactly its names.
// The KroDouble_* exports let a test steer the loaded copy.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "device/kro_api.h"
#include "tests/doubles/double_controls.h"
#include "tests/doubles/own_path.h"

#if defined(KRO_DOUBLE_DEF_FILE_EXPORTS)
#undef KRO_EXPORT
#define KRO_EXPORT extern "C"
#endif

namespace {

constexpr KroHandle kInstance = 4660;

std::mutex logMutex;
std::atomic<std::uint8_t> deviceValue{2};
std::atomic<std::int32_t> checksEntered{0};

std::mutex gateMutex;
std::condition_variable gateOpened;
bool checksReleased = false;
std::int32_t checkBlockMilliseconds = 10000;

// Appends one formatted line. (No std::to_string here: its template data
// would make glibc keep the library loaded after dlclose.)
void Record(const char* format, ...) {
    char line[256];
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    std::lock_guard lock(logMutex);
    static const std::string logPath = kro::test::OwnLibraryPath() + ".log";
    if (std::FILE* log = std::fopen(logPath.c_str(), "a")) {
        std::fprintf(log, "%s\n", line);
        std::fclose(log);
    }
}

const char* Text(const char* name) {
    return name != nullptr ? name : "(null)";
}

#if defined(KRO_DOUBLE_BLOCKING_CHECK)
void BlockUntilReleased() {
    std::unique_lock lock(gateMutex);
    gateOpened.wait_for(lock, std::chrono::milliseconds(checkBlockMilliseconds),
                        [] { return checksReleased; });
}
#endif

}  // namespace

KRO_EXPORT KroHandle KRO_CALL KRO_Create() {
    Record("KRO_Create");
#if defined(KRO_DOUBLE_CREATE_FAILS)
    return 0;
#else
    return kInstance;
#endif
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Delete(KroHandle instance) {
    Record("KRO_Delete h=%d", instance);
    return 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Check_Kro_Device(KroHandle instance, std::uint8_t* value) {
    ++checksEntered;
#if defined(KRO_DOUBLE_BLOCKING_CHECK)
    BlockUntilReleased();
#endif
    *value = deviceValue.load();
    Record("KRO_Check_Kro_Device h=%d", instance);
    return 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_Flag(KroHandle instance, char* area, std::uint8_t* flag1,
                                                   std::uint8_t* flag2, std::uint8_t* flag3) {
    Record("KRO_Get_File_Flag h=%d", instance);
    std::memset(area, 'F', kFileFlagAreaSize);
    *flag1 = 1;
    *flag2 = 2;
    *flag3 = 3;
    return 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_Cnt(KroHandle instance, std::uint8_t category) {
    Record("KRO_Get_File_Cnt h=%d category=%d", instance, category);
    return category + 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_Index_Info(KroHandle instance, std::uint8_t category,
                                                         const char* name, RecordingIndexInfo* info) {
    Record("KRO_Get_File_Index_Info h=%d category=%d name=%s", instance, category, Text(name));
    std::memset(info, 0, sizeof *info);
    info->framesPerSecond = 30;
    info->gSensor = -category;
    return 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Make_Avi_File(KroHandle instance, const char* name) {
    Record("KRO_Make_Avi_File h=%d name=%s", instance, Text(name));
    return 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Make_Kro_File(KroHandle instance, const char* name) {
    Record("KRO_Make_Kro_File h=%d name=%s", instance, Text(name));
    return 1;
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Make_Picture_File(KroHandle instance, const char* name,
                                                       std::int32_t* size, std::uint8_t* buffer) {
    Record("KRO_Make_Picture_File h=%d name=%s", instance, Text(name));
    std::memcpy(buffer, "JPEG", 4);
    *size = 4;
    return 1;
}

#if !defined(KRO_DOUBLE_NO_OPTIONAL)
// Fills at most two entries ("LIST0", "LIST1", type 'E').
KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_List_tt(KroHandle instance, std::uint8_t category,
                                                      std::int32_t capacity, RecordingEntry* entries,
                                                      std::int32_t* auxiliary, std::uint32_t* sizes,
                                                      std::int32_t* durations) {
    Record("KRO_Get_File_List_tt h=%d category=%d capacity=%d", instance, category, capacity);
    const std::int32_t count = capacity < 2 ? capacity : 2;
    for (std::int32_t i = 0; i < count; ++i) {
        std::memset(&entries[i], 0, sizeof entries[i]);
        std::snprintf(entries[i].name, sizeof entries[i].name, "LIST%d", static_cast<int>(i));
        entries[i].typeLetter = 'E';
        auxiliary[i] = i;
        sizes[i] = 1000u + static_cast<std::uint32_t>(i);
        durations[i] = 60 + i;
    }
    return count;
}
#endif

// Exports the program resolves but never calls.
#define KRO_DOUBLE_UNUSED(name)               \
    KRO_EXPORT std::int32_t KRO_CALL name() { \
        Record("%s", #name);                  \
        return 0;                             \
    }

KRO_DOUBLE_UNUSED(KRO_Open)
KRO_DOUBLE_UNUSED(KRO_Close)
KRO_DOUBLE_UNUSED(KRO_Read)
KRO_DOUBLE_UNUSED(KRO_Write)
KRO_DOUBLE_UNUSED(KRO_Get_File_Frame_Cnt)
KRO_DOUBLE_UNUSED(KRO_Get_File_List)
KRO_DOUBLE_UNUSED(KRO_Find_Start_Stop)
KRO_DOUBLE_UNUSED(KRO_Get_PB_Pos)
KRO_DOUBLE_UNUSED(KRO_Set_Seek_Pos)
KRO_DOUBLE_UNUSED(KRO_Set_Pcfolder)
KRO_DOUBLE_UNUSED(KRO_PB_Init)
KRO_DOUBLE_UNUSED(KRO_PB_DeInit)
KRO_DOUBLE_UNUSED(KRO_PB_Start)
KRO_DOUBLE_UNUSED(KRO_PB_Stop)
KRO_DOUBLE_UNUSED(KRO_Read_Frame)
KRO_DOUBLE_UNUSED(KRO_Make_Play_File)
KRO_DOUBLE_UNUSED(KRO_Make_Data_File)
KRO_DOUBLE_UNUSED(KRO_Set_Config_Data)
KRO_DOUBLE_UNUSED(KRO_Get_Config_Data)
#if !defined(KRO_DOUBLE_NO_OPTIONAL)
KRO_DOUBLE_UNUSED(KRO_Format)
KRO_DOUBLE_UNUSED(KRO_FAT_PB_Start)
KRO_DOUBLE_UNUSED(KRO_FAT_PB_Stop)
#endif

// Test controls.

// The value the next KRO_Check_Kro_Device writes (2 until set).
KRO_EXPORT void KRO_CONTROL_CALL KroDouble_SetDeviceValue(std::uint8_t value) {
    deviceValue = value;
}

// How many KRO_Check_Kro_Device calls have begun.
KRO_EXPORT std::int32_t KRO_CONTROL_CALL KroDouble_ChecksEntered() {
    return checksEntered.load();
}

// Lets blocked and later KRO_Check_Kro_Device calls return at once.
KRO_EXPORT void KRO_CONTROL_CALL KroDouble_ReleaseChecks() {
    {
        std::lock_guard lock(gateMutex);
        checksReleased = true;
    }
    gateOpened.notify_all();
}

// The longest a blocking check waits for its release (10 s until set).
KRO_EXPORT void KRO_CONTROL_CALL KroDouble_SetCheckBlockMilliseconds(std::int32_t milliseconds) {
    std::lock_guard lock(gateMutex);
    checkBlockMilliseconds = milliseconds;
}
