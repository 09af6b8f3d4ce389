// A card is present while its folder holds a valid descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "simulator/card.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

namespace fs = std::filesystem;

using CardPresenceTest = SimulatorTest;

std::uint8_t DeviceValue(const SimLibrary& library, KroHandle handle, std::int32_t* result = nullptr) {
    std::uint8_t value = 0xAA;
    const std::int32_t r = library.checkDevice(handle, &value);
    if (result != nullptr) *result = r;
    return value;
}

TEST_F(CardPresenceTest, APresentCardReportsItsDiskNumber) {
    WriteCard(card_, 7, {{"A", 'I'}});
    std::int32_t result = 0;
    EXPECT_EQ(DeviceValue(library_, handle_, &result), 7);
    EXPECT_EQ(result, 1);
}

TEST_F(CardPresenceTest, NoFolderMeansNoCard) {
    std::int32_t result = -1;
    EXPECT_EQ(DeviceValue(library_, handle_, &result), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(library_.List(handle_, 1).result, 0);
}

TEST_F(CardPresenceTest, AFolderWithoutAValidDescriptorIsNoCard) {
    WriteCard(card_, 7, {{"A", 'I'}});
    const std::string descriptor = card_ + "/" + sim::kDescriptorFileName;
    for (const std::string text : {"disk=0\n", "disk=256\n", "disk=x\n", "disk=\n", "disk=-1\n",
                                   "label=NO DISK\n", "disk = 12 apples\n"}) {
        WriteFileBytes(descriptor, std::vector<std::uint8_t>(text.begin(), text.end()));
        EXPECT_EQ(DeviceValue(library_, handle_), 0) << text;
        EXPECT_EQ(library_.getFileCount(handle_, 1), 0) << text;
    }
    fs::remove(descriptor);
    EXPECT_EQ(DeviceValue(library_, handle_), 0);
    const std::string spaced = "# comment\r\n  disk = 255 \r\n";
    WriteFileBytes(descriptor, std::vector<std::uint8_t>(spaced.begin(), spaced.end()));
    EXPECT_EQ(DeviceValue(library_, handle_), 255);
    EXPECT_EQ(library_.getFileCount(handle_, 1), 1);
}

TEST_F(CardPresenceTest, PullingAndReinsertingTheCard) {
    WriteCard(card_, 4, {{"A", 'I'}, {"B", 'E'}});
    EXPECT_EQ(DeviceValue(library_, handle_), 4);
    fs::rename(card_, card_ + "-pulled");
    EXPECT_EQ(DeviceValue(library_, handle_), 0);
    EXPECT_EQ(library_.getFileCount(handle_, 0), 0);
    EXPECT_EQ(library_.List(handle_, 1).result, 0);
    fs::rename(card_ + "-pulled", card_);
    EXPECT_EQ(DeviceValue(library_, handle_), 4);
    EXPECT_EQ(library_.List(handle_, 0).Names(), std::vector<std::string>{"B"});
}

TEST_F(CardPresenceTest, FileFlagWritesTheLabelAndFlags) {
    char area[kFileFlagAreaSize];
    std::uint8_t present = 9, version = 9, reserved = 9;
    std::memset(area, 'Z', sizeof area);
    EXPECT_EQ(library_.getFileFlag(handle_, area, &present, &version, &reserved), 0);
    EXPECT_EQ(area[0], '\0');
    EXPECT_EQ(present, 0);

    WriteCard(card_, 4, {});
    std::memset(area, 'Z', sizeof area);
    EXPECT_EQ(library_.getFileFlag(handle_, area, &present, &version, &reserved), 1);
    EXPECT_STREQ(area, "TEST CARD");
    EXPECT_EQ(area[kFileFlagAreaSize - 1], '\0');
    EXPECT_EQ(present, 1);
    EXPECT_EQ(version, 1);
    EXPECT_EQ(reserved, 0);
}

TEST_F(CardPresenceTest, AnEmptyCardListsNothing) {
    WriteCard(card_, 4, {});
    for (std::uint8_t category = 0; category < 4; ++category)
        EXPECT_EQ(library_.List(handle_, category).result, 0);
}

TEST(CardBesideLibraryTest, WithoutTheVariableTheCardIsTheFolderBesideTheLibrary) {
    TempFolder root;
    // The loader's path has backslashes; both platforms' file systems take slashes.
    std::string source = LibraryBesideTests();
    std::replace(source.begin(), source.end(), '\\', '/');
    const fs::path copy = fs::path(root.Path()) / "lib" / fs::path(source).filename();
    fs::create_directories(copy.parent_path());
    fs::copy_file(source, copy);
    WriteCard((copy.parent_path() / "card").string(), 9, {{"A", 'I'}});
    ScopedEnv noCard("KROSIM_CARD", "");
    ScopedEnv noFaults("KROSIM_FAULTS", "");
    {
        SimLibrary library(copy.string());
        ASSERT_TRUE(library.Loaded());
        const KroHandle handle = library.create();
        EXPECT_EQ(DeviceValue(library, handle), 9);
        EXPECT_EQ(library.getFileCount(handle, 1), 1);
        library.destroy(handle);
    }
}

}  // namespace
}  // namespace kro::simtest
