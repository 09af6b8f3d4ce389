// The binding against real libraries (the test doubles) loaded through the
// platform's module loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "tests/doubles/double_support.h"

namespace {

using kro::test::CallLog;
using kro::test::kDoubleInstance;
using Lines = std::vector<std::string>;

// The 32 export names, and the four a library may lack.
const char* const kAllNames[] = {"KRO_Create",
                                 "KRO_Delete",
                                 "KRO_Open",
                                 "KRO_Close",
                                 "KRO_Read",
                                 "KRO_Write",
                                 "KRO_Format",
                                 "KRO_Check_Kro_Device",
                                 "KRO_Get_File_Frame_Cnt",
                                 "KRO_Get_File_Index_Info",
                                 "KRO_Get_File_Cnt",
                                 "KRO_Get_File_List",
                                 "KRO_Get_File_List_tt",
                                 "KRO_Get_File_Flag",
                                 "KRO_Find_Start_Stop",
                                 "KRO_Get_PB_Pos",
                                 "KRO_Set_Seek_Pos",
                                 "KRO_PB_Init",
                                 "KRO_PB_DeInit",
                                 "KRO_PB_Start",
                                 "KRO_PB_Stop",
                                 "KRO_FAT_PB_Start",
                                 "KRO_FAT_PB_Stop",
                                 "KRO_Read_Frame",
                                 "KRO_Make_Avi_File",
                                 "KRO_Make_Kro_File",
                                 "KRO_Make_Play_File",
                                 "KRO_Make_Data_File",
                                 "KRO_Set_Pcfolder",
                                 "KRO_Set_Config_Data",
                                 "KRO_Get_Config_Data",
                                 "KRO_Make_Picture_File"};
const char* const kOptionalNames[] = {"KRO_Format", "KRO_Get_File_List_tt", "KRO_FAT_PB_Start",
                                      "KRO_FAT_PB_Stop"};

bool IsOptional(const std::string& name) {
    return std::find(std::begin(kOptionalNames), std::end(kOptionalNames), name) != std::end(kOptionalNames);
}

// The platform's loader with one export name hidden; counts releases.
class HidingLoader final : public kro::ModuleLoader {
public:
    explicit HidingLoader(std::string hiddenName) : hidden_(std::move(hiddenName)) {}
    Module Load(const std::string& path) override { return system_.Load(path); }
    void* Symbol(Module module, const char* name) override {
        return hidden_ == name ? nullptr : system_.Symbol(module, name);
    }
    void Free(Module module) override {
        ++freed;
        system_.Free(module);
    }
    std::string ExecutablePath() override { return system_.ExecutablePath(); }

    int freed = 0;

private:
    kro::ModuleLoader& system_ = kro::SystemModuleLoader();
    std::string hidden_;
};

class KroLibraryDouble : public ::testing::Test {
protected:
    std::filesystem::path Place(const char* builtName) {
        return kro::test::PlaceCopy(folder.Path(), builtName);
    }

    kro::test::ScratchFolder folder{"binding"};
};

// The complete double in every calling convention of the platform: the
// binding must load and call each the same way.
class KroLibraryConvention : public KroLibraryDouble, public ::testing::WithParamInterface<const char*> {};

INSTANTIATE_TEST_SUITE_P(EveryConvention, KroLibraryConvention, ::testing::ValuesIn(kro::test::kConventionDoubles),
                         [](const auto& info) { return std::filesystem::path(info.param).stem().string(); });

TEST_P(KroLibraryConvention, CompleteLibraryLoadsWithOneInstanceAndEveryEntry) {
    const auto path = Place(GetParam());
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    ASSERT_TRUE(library.Load(folder.Text()));
    EXPECT_TRUE(kro::test::IsLibraryLoaded(path));
    EXPECT_EQ(library.Instance(), kDoubleInstance);
    for (int i = 0; i < kKroExportCount; ++i) EXPECT_TRUE(library.HasEntry(static_cast<KroExport>(i))) << i;
    EXPECT_EQ(CallLog(path), Lines{"KRO_Create"});
    library.Close();
}

TEST_P(KroLibraryConvention, ForwardingPassesTheInstanceFirstAndEveryArgument) {
    const auto path = Place(GetParam());
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    ASSERT_TRUE(library.Load(folder.Text()));

    std::uint8_t deviceValue = 0;
    EXPECT_EQ(library.CheckDevice(&deviceValue), 1);
    EXPECT_EQ(deviceValue, 2);

    char area[kFileFlagAreaSize + 1] = {};
    std::uint8_t flags[3] = {};
    EXPECT_EQ(library.GetFileFlag(area, &flags[0], &flags[1], &flags[2]), 1);
    EXPECT_EQ(std::string(area), std::string(kFileFlagAreaSize, 'F'));
    EXPECT_EQ((std::vector<int>{flags[0], flags[1], flags[2]}), (std::vector<int>{1, 2, 3}));

    EXPECT_EQ(library.GetFileCount(200), 201);

    RecordingEntry entries[3] = {};
    std::int32_t auxiliary[3] = {};
    std::uint32_t sizes[3] = {};
    std::int32_t durations[3] = {};
    EXPECT_EQ(library.GetFileList(3, 3, entries, auxiliary, sizes, durations), 2);
    EXPECT_STREQ(entries[1].name, "LIST1");
    EXPECT_EQ(entries[1].typeLetter, 'E');
    EXPECT_EQ(sizes[1], 1001u);
    EXPECT_EQ(durations[1], 61);

    RecordingIndexInfo info{};
    EXPECT_EQ(library.GetFileIndexInfo(2, "EVT_0001", &info), 1);
    EXPECT_EQ(info.framesPerSecond, 30);
    EXPECT_EQ(info.gSensor, -2);

    EXPECT_EQ(library.MakeAviFile("EVT_0002"), 1);
    EXPECT_EQ(library.MakeKroFile("EVT_0003"), 1);

    std::vector<std::uint8_t> picture(kPictureBufferSize);
    std::int32_t pictureSize = 0;
    EXPECT_EQ(library.MakePictureFile("PHO_0004", &pictureSize, picture.data()), 1);
    EXPECT_EQ(pictureSize, 4);
    EXPECT_EQ(std::memcmp(picture.data(), "JPEG", 4), 0);

    EXPECT_EQ(
        CallLog(path),
        (Lines{"KRO_Create", "KRO_Check_Kro_Device h=4660", "KRO_Get_File_Flag h=4660",
               "KRO_Get_File_Cnt h=4660 category=200", "KRO_Get_File_List_tt h=4660 category=3 capacity=3",
               "KRO_Get_File_Index_Info h=4660 category=2 name=EVT_0001",
               "KRO_Make_Avi_File h=4660 name=EVT_0002", "KRO_Make_Kro_File h=4660 name=EVT_0003",
               "KRO_Make_Picture_File h=4660 name=PHO_0004"}));
    library.Close();
}

#if defined(KRO_DOUBLE_FILE_STDCALL_DECORATED)
// Guards the meaning of the decorated variant above: it offers no plain name.
TEST_F(KroLibraryDouble, DecoratedDoubleOffersOnlyTheDecoratedNames) {
    kro::ModuleLoader& loader = kro::SystemModuleLoader();
    const auto module = loader.Load(Place(kro::test::kStdcallDecoratedDouble).string());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(loader.Symbol(module, "KRO_Create"), nullptr);
    EXPECT_EQ(loader.Symbol(module, "KRO_Create@0"), nullptr);
    EXPECT_NE(loader.Symbol(module, "_KRO_Create@0"), nullptr);
    EXPECT_NE(loader.Symbol(module, "_KRO_Get_File_List_tt@28"), nullptr);
    loader.Free(module);
}
#endif

TEST_F(KroLibraryDouble, LibraryLackingOnlyTheOptionalEntriesLoads) {
    const auto path = Place(kro::test::kNoOptionalDouble);
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    ASSERT_TRUE(library.Load(folder.Text()));
    EXPECT_FALSE(library.HasEntry(KroExport::Format));
    EXPECT_FALSE(library.HasEntry(KroExport::GetFileListTt));
    EXPECT_FALSE(library.HasEntry(KroExport::FatPbStart));
    EXPECT_FALSE(library.HasEntry(KroExport::FatPbStop));

    // The missing list entry answers 0 without a call; the others still work.
    RecordingEntry entries[1] = {};
    std::int32_t auxiliary[1] = {};
    std::uint32_t sizes[1] = {};
    std::int32_t durations[1] = {};
    EXPECT_EQ(library.GetFileList(0, 1, entries, auxiliary, sizes, durations), 0);
    EXPECT_EQ(library.GetFileCount(1), 2);
    EXPECT_EQ(CallLog(path), (Lines{"KRO_Create", "KRO_Get_File_Cnt h=4660 category=1"}));
    library.Close();
}

TEST_F(KroLibraryDouble, LibraryLackingAnyRequiredEntryIsReleasedBeforeCreating) {
    const auto path = Place(kro::test::kCompleteDouble);
    int requiredNames = 0;
    for (const char* name : kAllNames) {
        if (IsOptional(name)) continue;
        ++requiredNames;
        HidingLoader loader(name);
        kro::InProcessLibrary library(loader);
        EXPECT_FALSE(library.Load(folder.Text())) << name;
        EXPECT_EQ(loader.freed, 1) << name;
        EXPECT_FALSE(kro::test::IsLibraryLoaded(path)) << name;
        std::uint8_t deviceValue = 0;
        EXPECT_EQ(library.CheckDevice(&deviceValue), 0) << name;
        EXPECT_EQ(library.GetFileCount(0), 0) << name;
    }
    EXPECT_EQ(requiredNames, 28);
    EXPECT_EQ(CallLog(path), Lines{});
}

TEST_F(KroLibraryDouble, LibraryLackingOneOptionalEntryLoads) {
    Place(kro::test::kCompleteDouble);
    for (const char* name : kOptionalNames) {
        HidingLoader loader(name);
        kro::InProcessLibrary library(loader);
        EXPECT_TRUE(library.Load(folder.Text())) << name;
        library.Close();
        EXPECT_EQ(loader.freed, 1) << name;
    }
}

TEST_F(KroLibraryDouble, FailedCreateReleasesTheLibraryAndNothingIsCalledAfterwards) {
    const auto path = Place(kro::test::kCreateFailsDouble);
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    EXPECT_FALSE(library.Load(folder.Text()));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_FALSE(kro::test::IsLibraryLoaded(path));
    std::uint8_t deviceValue = 9;
    EXPECT_EQ(library.CheckDevice(&deviceValue), 0);
    EXPECT_EQ(deviceValue, 9);
    EXPECT_EQ(library.MakeAviFile("EVT_0001"), 0);
    library.Close();
    EXPECT_EQ(CallLog(path), Lines{"KRO_Create"});
}

TEST_F(KroLibraryDouble, SecondLoadFailsAndKeepsTheInstance) {
    const auto path = Place(kro::test::kCompleteDouble);
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    ASSERT_TRUE(library.Load(folder.Text()));
    EXPECT_FALSE(library.Load(folder.Text()));
    EXPECT_EQ(library.Instance(), kDoubleInstance);
    EXPECT_EQ(library.GetFileCount(3), 4);
    EXPECT_EQ(CallLog(path), (Lines{"KRO_Create", "KRO_Get_File_Cnt h=4660 category=3"}));
    library.Close();
}

TEST_F(KroLibraryDouble, CloseDeletesTheInstanceUnloadsAndIsHarmlessTwice) {
    const auto path = Place(kro::test::kCompleteDouble);
    kro::InProcessLibrary library{kro::SystemModuleLoader()};
    ASSERT_TRUE(library.Load(folder.Text()));
    library.Close();
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Instance(), 0);
    EXPECT_FALSE(kro::test::IsLibraryLoaded(path));
    library.Close();
    std::uint8_t deviceValue = 0;
    EXPECT_EQ(library.CheckDevice(&deviceValue), 0);
    EXPECT_EQ(CallLog(path), (Lines{"KRO_Create", "KRO_Delete h=4660"}));
}

}  // namespace
