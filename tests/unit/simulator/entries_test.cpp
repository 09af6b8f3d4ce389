// The library's entry points, its instances and the program's binding.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "device/in_process_library.h"
#include "device/kro_library.h"
#include "device/module_loader.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

using EntriesTest = SimulatorTest;

bool IsCalledExport(const std::string& name) {
    static const std::set<std::string> called = {
        "KRO_Create",        "KRO_Delete",           "KRO_Check_Kro_Device",    "KRO_Get_File_Flag",
        "KRO_Get_File_Cnt",  "KRO_Get_File_List_tt", "KRO_Get_File_Index_Info", "KRO_Make_Avi_File",
        "KRO_Make_Kro_File", "KRO_Make_Picture_File"};
    return called.count(name) == 1;
}

TEST_F(EntriesTest, AllThirtyTwoExportsExistAndTheUnsupportedOnesReturnZero) {
    WriteCard(card_, 1, {{"A", 'I'}});
    int unsupported = 0;
    for (const KroExportInfo& info : kKroExports) {
        void* entry = library_.Symbol(info.name);
        ASSERT_NE(entry, nullptr) << info.name;
        if (IsCalledExport(info.name)) continue;
        ++unsupported;
        EXPECT_EQ(reinterpret_cast<std::int32_t(KRO_CALL*)(KroHandle)>(entry)(handle_), 0) << info.name;
    }
    EXPECT_EQ(unsupported, 22);
}

TEST_F(EntriesTest, HandlesAreDistinctAndADeletedHandleGetsNothing) {
    WriteCard(card_, 5, {{"A", 'I'}});
    const KroHandle second = library_.create();
    ASSERT_NE(second, 0);
    EXPECT_NE(second, handle_);
    EXPECT_EQ(library_.getFileCount(second, 1), 1);
    EXPECT_EQ(library_.destroy(second), 1);
    EXPECT_EQ(library_.destroy(second), 0);
    std::uint8_t value = 0xAA;
    EXPECT_EQ(library_.checkDevice(second, &value), 0);
    EXPECT_EQ(value, 0xAA);
    EXPECT_EQ(library_.getFileCount(second, 1), 0);
    EXPECT_EQ(library_.makeAviFile(second, "A"), 0);
    EXPECT_EQ(library_.getFileCount(0, 1), 0);
    EXPECT_EQ(library_.getFileCount(-3, 1), 0);
    // The first instance is untouched.
    EXPECT_EQ(library_.getFileCount(handle_, 1), 1);
}

TEST_F(EntriesTest, MissingOutputLocationsAreRefused) {
    WriteCard(card_, 5, {{"A.JPG", 'J', 0, 0, 1, 0}});
    EXPECT_EQ(library_.checkDevice(handle_, nullptr), 0);
    std::int32_t size = 0;
    std::vector<std::uint8_t> buffer(kPictureBufferSize);
    EXPECT_EQ(library_.makePictureFile(handle_, "A.JPG", nullptr, buffer.data()), 0);
    EXPECT_EQ(library_.makePictureFile(handle_, "A.JPG", &size, nullptr), 0);
    EXPECT_EQ(library_.getFileList(handle_, 3, 1, nullptr, nullptr, nullptr, nullptr), 0);
    // Auxiliary, size and duration arrays are optional.
    RecordingEntry entry{};
    EXPECT_EQ(library_.getFileList(handle_, 3, 1, &entry, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(EntryName(entry), "A.JPG");
    EXPECT_EQ(library_.getFileFlag(handle_, nullptr, nullptr, nullptr, nullptr), 1);
}

TEST_F(EntriesTest, TheProgramsBindingLoadsAndUsesTheSimulator) {
    WriteCard(card_, 6, {{"A", 'E'}, {"B.JPG", 'J', 0, 0, 1, 0}});
    RedirectingLoader loader;
    InProcessLibrary binding(loader);
    ASSERT_TRUE(binding.Load(""));
    std::uint8_t value = 0;
    EXPECT_EQ(binding.CheckDevice(&value), 1);
    EXPECT_EQ(value, 6);
    EXPECT_EQ(binding.GetFileCount(0), 1);
    std::vector<std::uint8_t> buffer(kPictureBufferSize);
    std::int32_t size = 0;
    EXPECT_EQ(binding.MakePictureFile("B.JPG", &size, buffer.data()), 1);
    EXPECT_EQ(size, static_cast<std::int32_t>(TinyJpegFrame(0).size()));
    binding.Close();
}

}  // namespace
}  // namespace kro::simtest
