// The device library's binary interface: export names, the signatures of the
// exports the program calls, and the records they fill. Shared by the
// binding, the simulator and the test doubles. Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

// Calling convention the exports are compiled with: the C declaration
// convention (__cdecl) by default, __stdcall with KRO_LIBRARY_STDCALL, which
// the simulator and the test doubles use to stand for a 32-bit library built
// that way. The program does not depend on it: it calls every export through
// kro_call.h, which keeps the stack balanced under either convention.
#if defined(_WIN32) && !defined(_WIN64) && defined(KRO_LIBRARY_STDCALL)
#define KRO_CALL __stdcall
#elif defined(_WIN32) && !defined(_WIN64)
#define KRO_CALL __cdecl
#else
#define KRO_CALL
#endif

#if defined(_WIN32)
#define KRO_EXPORT extern "C" __declspec(dllexport)
#else
#define KRO_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Opaque instance handle returned by KRO_Create; 0 means no instance.
using KroHandle = std::int32_t;

// One recording as the list operation writes it: 40 bytes, no gaps between
// entries. The name is NUL-terminated within its 16 bytes when the library
// behaves; the program never relies on that.
struct RecordingEntry {
    char name[16];
    char typeLetter;
    std::uint8_t reserved[23];
};
static_assert(sizeof(RecordingEntry) == 40);
static_assert(offsetof(RecordingEntry, name) == 0);
static_assert(offsetof(RecordingEntry, typeLetter) == 16);

// The index-info record: 392 bytes, little-endian. Only the named fields are
// interpreted; the gaps belong to the library.
struct RecordingIndexInfo {
    std::uint8_t reserved0[52];
    std::uint8_t framesPerSecond;  // 52
    std::uint8_t reserved1[15];
    std::uint16_t frontFrames;  // 68
    std::uint16_t rearFrames;   // 70
    std::uint8_t reserved2[28];
    std::uint32_t frontBytes;  // 100
    std::uint32_t rearBytes;   // 104
    std::uint8_t reserved3[56];
    std::uint16_t frontHeight;  // 164
    std::uint16_t rearHeight;   // 166
    std::uint8_t reserved4[28];
    std::uint16_t frontWidth;  // 196
    std::uint16_t rearWidth;   // 198
    std::uint8_t reserved5[40];
    std::int32_t gSensor;  // 240
    std::uint8_t reserved6[148];
};
static_assert(sizeof(RecordingIndexInfo) == 392);
static_assert(offsetof(RecordingIndexInfo, framesPerSecond) == 52);
static_assert(offsetof(RecordingIndexInfo, frontFrames) == 68);
static_assert(offsetof(RecordingIndexInfo, rearFrames) == 70);
static_assert(offsetof(RecordingIndexInfo, frontBytes) == 100);
static_assert(offsetof(RecordingIndexInfo, rearBytes) == 104);
static_assert(offsetof(RecordingIndexInfo, frontHeight) == 164);
static_assert(offsetof(RecordingIndexInfo, rearHeight) == 166);
static_assert(offsetof(RecordingIndexInfo, frontWidth) == 196);
static_assert(offsetof(RecordingIndexInfo, rearWidth) == 198);
static_assert(offsetof(RecordingIndexInfo, gSensor) == 240);

// Size of the output area of KRO_Get_File_Flag.
inline constexpr std::size_t kFileFlagAreaSize = 65;
// Size of the buffer handed to KRO_Make_Picture_File.
inline constexpr std::int32_t kPictureBufferSize = 1048576;
// The most recordings one list call may deliver. No card holds a million
// recordings in one category: a larger count is taken as a card too big to
// load, before any buffer is made for it.
inline constexpr std::int32_t kMaxRecordingsPerList = std::int32_t{1} << 20;

// Signatures of the ten exports the program calls. Categories travel as one
// unsigned byte; names are NUL-terminated ANSI strings.
using KroCreateFn = KroHandle(KRO_CALL*)();
using KroDeleteFn = std::int32_t(KRO_CALL*)(KroHandle);
using KroCheckDeviceFn = std::int32_t(KRO_CALL*)(KroHandle, std::uint8_t* deviceValue);
using KroGetFileFlagFn = std::int32_t(KRO_CALL*)(KroHandle, char* area, std::uint8_t*, std::uint8_t*,
                                                 std::uint8_t*);
using KroGetFileCountFn = std::int32_t(KRO_CALL*)(KroHandle, std::uint8_t category);
using KroGetFileListFn = std::int32_t(KRO_CALL*)(KroHandle, std::uint8_t category, std::int32_t capacity,
                                                 RecordingEntry* entries, std::int32_t* auxiliary,
                                                 std::uint32_t* sizes, std::int32_t* durations);
using KroGetFileIndexInfoFn = std::int32_t(KRO_CALL*)(KroHandle, std::uint8_t category, const char* name,
                                                      RecordingIndexInfo* info);
using KroMakeFileFn = std::int32_t(KRO_CALL*)(KroHandle, const char* name);
using KroMakePictureFileFn = std::int32_t(KRO_CALL*)(KroHandle, const char* name, std::int32_t* size,
                                                     std::uint8_t* buffer);

// The 32 exports in the order of the binding's entry-point table.
enum class KroExport : int {
    Create, Delete, Open, Close, Read, Write, Format, CheckKroDevice,
    GetFileFrameCnt, GetFileIndexInfo, GetFileCnt, GetFileList, GetFileListTt, GetFileFlag,
    FindStartStop, GetPbPos, SetSeekPos, PbInit, PbDeInit, PbStart, PbStop, FatPbStart,
    FatPbStop, ReadFrame, MakeAviFile, MakeKroFile, MakePlayFile, MakeDataFile, SetPcfolder,
    SetConfigData, GetConfigData, MakePictureFile,
};
inline constexpr int kKroExportCount = 32;

struct KroExportInfo {
    const char* name;
    bool required;
};

// Names and required flags, indexed by KroExport.
inline constexpr KroExportInfo kKroExports[kKroExportCount] = {
    {"KRO_Create", true},          {"KRO_Delete", true},
    {"KRO_Open", true},            {"KRO_Close", true},
    {"KRO_Read", true},            {"KRO_Write", true},
    {"KRO_Format", false},         {"KRO_Check_Kro_Device", true},
    {"KRO_Get_File_Frame_Cnt", true}, {"KRO_Get_File_Index_Info", true},
    {"KRO_Get_File_Cnt", true},    {"KRO_Get_File_List", true},
    {"KRO_Get_File_List_tt", false}, {"KRO_Get_File_Flag", true},
    {"KRO_Find_Start_Stop", true}, {"KRO_Get_PB_Pos", true},
    {"KRO_Set_Seek_Pos", true},    {"KRO_PB_Init", true},
    {"KRO_PB_DeInit", true},       {"KRO_PB_Start", true},
    {"KRO_PB_Stop", true},         {"KRO_FAT_PB_Start", false},
    {"KRO_FAT_PB_Stop", false},    {"KRO_Read_Frame", true},
    {"KRO_Make_Avi_File", true},   {"KRO_Make_Kro_File", true},
    {"KRO_Make_Play_File", true},  {"KRO_Make_Data_File", true},
    {"KRO_Set_Pcfolder", true},    {"KRO_Set_Config_Data", true},
    {"KRO_Get_Config_Data", true}, {"KRO_Make_Picture_File", true},
};

// The library's file name, looked for beside the program.
inline constexpr const char* kKroLibraryFileName = "KROLib.dll";
