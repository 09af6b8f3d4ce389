// The library's 32 C entry points. Ten forward to the simulator; the other
// 22 are unsupported and return 0 without looking at their arguments (with
// the C calling convention a caller passing arguments to them is harmless).
#include <type_traits>

#include "device/kro_api.h"
#include "simulator/simulator.h"

KRO_EXPORT KroHandle KRO_CALL KRO_Create() {
    return kro::sim::Create();
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Delete(KroHandle handle) {
    return kro::sim::Delete(handle);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Check_Kro_Device(KroHandle handle, std::uint8_t* deviceValue) {
    return kro::sim::CheckDevice(handle, deviceValue);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_Flag(KroHandle handle, char* area, std::uint8_t* flag1,
                                                   std::uint8_t* flag2, std::uint8_t* flag3) {
    return kro::sim::GetFileFlag(handle, area, flag1, flag2, flag3);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_Cnt(KroHandle handle, std::uint8_t category) {
    return kro::sim::GetFileCount(handle, category);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_List_tt(KroHandle handle, std::uint8_t category,
                                                      std::int32_t capacity, RecordingEntry* entries,
                                                      std::int32_t* auxiliary, std::uint32_t* sizes,
                                                      std::int32_t* durations) {
    return kro::sim::GetFileList(handle, category, capacity, entries, auxiliary, sizes, durations);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Get_File_Index_Info(KroHandle handle, std::uint8_t category,
                                                         const char* name, RecordingIndexInfo* info) {
    return kro::sim::GetFileIndexInfo(handle, category, name, info);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Make_Avi_File(KroHandle handle, const char* name) {
    return kro::sim::MakeAviFile(handle, name);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Make_Kro_File(KroHandle handle, const char* name) {
    return kro::sim::MakeKroFile(handle, name);
}

KRO_EXPORT std::int32_t KRO_CALL KRO_Make_Picture_File(KroHandle handle, const char* name, std::int32_t* size,
                                                       std::uint8_t* buffer) {
    return kro::sim::MakePictureFile(handle, name, size, buffer);
}

// The signatures the binding calls through.
static_assert(std::is_same_v<decltype(&KRO_Create), KroCreateFn>);
static_assert(std::is_same_v<decltype(&KRO_Delete), KroDeleteFn>);
static_assert(std::is_same_v<decltype(&KRO_Check_Kro_Device), KroCheckDeviceFn>);
static_assert(std::is_same_v<decltype(&KRO_Get_File_Flag), KroGetFileFlagFn>);
static_assert(std::is_same_v<decltype(&KRO_Get_File_Cnt), KroGetFileCountFn>);
static_assert(std::is_same_v<decltype(&KRO_Get_File_List_tt), KroGetFileListFn>);
static_assert(std::is_same_v<decltype(&KRO_Get_File_Index_Info), KroGetFileIndexInfoFn>);
static_assert(std::is_same_v<decltype(&KRO_Make_Avi_File), KroMakeFileFn>);
static_assert(std::is_same_v<decltype(&KRO_Make_Kro_File), KroMakeFileFn>);
static_assert(std::is_same_v<decltype(&KRO_Make_Picture_File), KroMakePictureFileFn>);

// Unsupported: each takes the instance handle and returns 0.
#define KRO_UNSUPPORTED(name)                          \
    KRO_EXPORT std::int32_t KRO_CALL name(KroHandle) { \
        return 0;                                      \
    }

KRO_UNSUPPORTED(KRO_Open)
KRO_UNSUPPORTED(KRO_Close)
KRO_UNSUPPORTED(KRO_Read)
KRO_UNSUPPORTED(KRO_Write)
KRO_UNSUPPORTED(KRO_Format)
KRO_UNSUPPORTED(KRO_Get_File_Frame_Cnt)
KRO_UNSUPPORTED(KRO_Get_File_List)
KRO_UNSUPPORTED(KRO_Find_Start_Stop)
KRO_UNSUPPORTED(KRO_Get_PB_Pos)
KRO_UNSUPPORTED(KRO_Set_Seek_Pos)
KRO_UNSUPPORTED(KRO_PB_Init)
KRO_UNSUPPORTED(KRO_PB_DeInit)
KRO_UNSUPPORTED(KRO_PB_Start)
KRO_UNSUPPORTED(KRO_PB_Stop)
KRO_UNSUPPORTED(KRO_FAT_PB_Start)
KRO_UNSUPPORTED(KRO_FAT_PB_Stop)
KRO_UNSUPPORTED(KRO_Read_Frame)
KRO_UNSUPPORTED(KRO_Make_Play_File)
KRO_UNSUPPORTED(KRO_Make_Data_File)
KRO_UNSUPPORTED(KRO_Set_Pcfolder)
KRO_UNSUPPORTED(KRO_Set_Config_Data)
KRO_UNSUPPORTED(KRO_Get_Config_Data)
