// Card drive discovery over a fake set of drives and disks: which drive is
// chosen, and the diagnostic lines written on the way.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "device/card_drive.h"

namespace {

using kro::DiskGeometry;

class FakeDisks final : public kro::DiskQueries {
public:
    // Drive letter -> disk number of its volume's first extent.
    void AddVolume(char letter, std::uint32_t diskNumber, std::uint32_t extents = 1) {
        drives |= 1u << (letter - 'A');
        volumes[letter] = {diskNumber, extents};
    }
    // A drive in use whose volume cannot be opened (a reader without media).
    void AddUnreadableVolume(char letter) { drives |= 1u << (letter - 'A'); }
    void AddDisk(std::int32_t number, const DiskGeometry& geometry) { disks[number] = geometry; }

    std::uint32_t LogicalDrives() override { return drives; }

    bool VolumeDiskExtentsOf(const std::string& volumePath, std::uint8_t* buffer, std::size_t size) override {
        volumePaths.push_back(volumePath);
        EXPECT_EQ(size, 100u);
        const auto found = volumes.find(volumePath.back() == ':' ? volumePath[volumePath.size() - 2] : '?');
        if (found == volumes.end()) return false;
        kro::VolumeDiskExtents extents{};
        extents.numberOfDiskExtents = found->second.extents;
        extents.extents[0].diskNumber = found->second.diskNumber;
        std::memcpy(buffer, &extents, sizeof extents);
        return true;
    }

    bool DriveGeometryOf(const std::wstring& diskPath, DiskGeometry& geometry) override {
        const std::wstring prefix = L"\\\\.\\PhysicalDrive";
        EXPECT_EQ(diskPath.compare(0, prefix.size(), prefix), 0);
        const auto found = disks.find(std::stoi(diskPath.substr(prefix.size())));
        if (found == disks.end()) {
            lastError = 2;
            return false;
        }
        geometry = found->second;
        return true;
    }

    std::uint32_t LastError() override { return lastError; }

    std::wstring AnsiToWide(const std::string& text) override {
        return std::wstring(text.begin(), text.end());
    }

    struct Volume {
        std::uint32_t diskNumber;
        std::uint32_t extents;
    };
    std::uint32_t drives = 0;
    std::map<char, Volume> volumes;
    std::map<std::int32_t, DiskGeometry> disks;
    std::vector<std::string> volumePaths;
    std::uint32_t lastError = 0;
};

class CapturedText final : public kro::TextSink {
public:
    void Write(std::string_view text) override { text_ += text; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

constexpr DiskGeometry kSystemDisk{60801, kro::kFixedMedia, 255, 63, 512};
constexpr DiskGeometry kCard{1946, kro::kRemovableMedia, 255, 63, 512};

const char* const kSystemDiskLines =
    "Drive path      = \\\\.\\PhysicalDrive0\n"
    "Cylinders       = 60801\n"
    "Tracks/cylinder = 255\n"
    "Sectors/track   = 63\n"
    "Bytes/sector    = 512\n"
    "Disk size       = 500105249280 (Bytes)\n"
    "                = 465.76 (Gb)\n";

std::string CardLines(int disk) {
    return "Drive path      = \\\\.\\PhysicalDrive" + std::to_string(disk) +
           "\n"
           "Cylinders       = 1946\n"
           "Tracks/cylinder = 255\n"
           "Sectors/track   = 63\n"
           "Bytes/sector    = 512\n"
           "Disk size       = 16006394880 (Bytes)\n"
           "                = 14.91 (Gb)\n";
}

const char* const kNoMediaLines = "GetDriveGeometry failed. Error 2.\n";

class CardDrive : public ::testing::Test {
protected:
    std::string Find(std::int8_t wanted) { return kro::FindCardDrive(wanted, disks, out); }

    FakeDisks disks;
    CapturedText out;
};

TEST_F(CardDrive, CardOnDiskTwoMountedAsFIsFoundAfterTheDrivesBeforeIt) {
    disks.AddVolume('C', 0);
    disks.AddUnreadableVolume('D');
    disks.AddVolume('F', 2);
    disks.AddDisk(0, kSystemDisk);
    disks.AddDisk(2, kCard);
    EXPECT_EQ(Find(2), "F:\\");
    EXPECT_EQ(out.Text(), kSystemDiskLines + std::string(kNoMediaLines) + CardLines(2));
    EXPECT_EQ(disks.volumePaths, (std::vector<std::string>{"\\\\?\\C:", "\\\\?\\D:", "\\\\?\\F:"}));
}

TEST_F(CardDrive, TwoVolumesOnTheCardYieldTheLowerLetter) {
    disks.AddVolume('G', 3);
    disks.AddVolume('E', 3);
    disks.AddDisk(3, kCard);
    EXPECT_EQ(Find(3), "E:\\");
    EXPECT_EQ(out.Text(), CardLines(3));
}

TEST_F(CardDrive, WalkStopsAtTheFirstMatch) {
    disks.AddVolume('E', 2);
    disks.AddVolume('H', 0);
    disks.AddDisk(2, kCard);
    disks.AddDisk(0, kSystemDisk);
    EXPECT_EQ(Find(2), "E:\\");
    EXPECT_EQ(disks.volumePaths, std::vector<std::string>{"\\\\?\\E:"});
    EXPECT_EQ(out.Text(), CardLines(2));
}

TEST_F(CardDrive, NoDriveOnTheWantedDiskYieldsEmptyAfterEveryLetter) {
    disks.AddVolume('A', 5);
    disks.AddVolume('C', 0);
    disks.AddVolume('Z', 4);
    disks.AddDisk(0, kSystemDisk);
    disks.AddDisk(4, kCard);
    EXPECT_EQ(Find(2), "");
    EXPECT_EQ(disks.volumePaths, (std::vector<std::string>{"\\\\?\\A:", "\\\\?\\C:", "\\\\?\\Z:"}));
    EXPECT_EQ(out.Text(), kNoMediaLines + std::string(kSystemDiskLines) + CardLines(4));
}

TEST_F(CardDrive, FixedMediaNeverMatchesEvenOnTheWantedDisk) {
    disks.AddVolume('C', 0);
    disks.AddDisk(0, kSystemDisk);
    EXPECT_EQ(Find(0), "");
    EXPECT_EQ(out.Text(), kSystemDiskLines);
}

TEST_F(CardDrive, DiskWithZeroSizeNeverMatches) {
    disks.AddVolume('E', 2);
    disks.AddDisk(2, DiskGeometry{0, kro::kRemovableMedia, 255, 63, 512});
    EXPECT_EQ(Find(2), "");
}

TEST_F(CardDrive, UnreadableVolumeIsExaminedAsDiskMinusOneAndSkipped) {
    disks.AddUnreadableVolume('E');
    disks.AddVolume('F', 0, 0);  // no extents
    EXPECT_EQ(Find(-1), "");
    EXPECT_EQ(out.Text(), std::string(kNoMediaLines) + kNoMediaLines);
}

TEST_F(CardDrive, WantedNumberIsReadAsSignedEightBits) {
    // Device value 130 arrives as -126: a card on disk 130 is not matched.
    disks.AddVolume('E', 130);
    disks.AddDisk(130, kCard);
    EXPECT_EQ(Find(static_cast<std::int8_t>(130)), "");
    EXPECT_EQ(out.Text(), CardLines(130));
}

TEST_F(CardDrive, BitsBeyondZNameNoDrive) {
    disks.drives = 0xFC000000u;
    EXPECT_EQ(Find(2), "");
    EXPECT_TRUE(disks.volumePaths.empty());
    EXPECT_EQ(out.Text(), "");
}

TEST(DriveGeometryReport, SizeIsTheUnsignedProductOfTheFourFields) {
    FakeDisks disks;
    CapturedText out;
    disks.AddDisk(1, DiskGeometry{0x100000000LL, kro::kRemovableMedia, 0x10000, 0x10000, 0x10000});
    DiskGeometry geometry{};
    // 2^32 * 2^48 wraps to 0 in 64 bits.
    EXPECT_EQ(kro::ReportDriveGeometry(L"\\\\.\\PhysicalDrive1", geometry, disks, out), 0.0);
    EXPECT_EQ(geometry.cylinders, 0x100000000LL);

    disks.AddDisk(2, DiskGeometry{1, kro::kRemovableMedia, 1, 1, 0x80000000u});
    CapturedText large;
    EXPECT_EQ(kro::ReportDriveGeometry(L"\\\\.\\PhysicalDrive2", geometry, disks, large), 2147483648.0);
    // The 32-bit fields print as signed values, as the lines always have.
    EXPECT_NE(large.Text().find("Bytes/sector    = -2147483648\n"), std::string::npos);
    EXPECT_NE(large.Text().find("Disk size       = 2147483648 (Bytes)\n                = 2.00 (Gb)\n"),
              std::string::npos);
}

TEST(DriveGeometryReport, FailedQueryWritesTheErrorAndReturnsZero) {
    FakeDisks disks;
    CapturedText out;
    DiskGeometry geometry{};
    EXPECT_EQ(kro::ReportDriveGeometry(L"\\\\.\\PhysicalDrive-1", geometry, disks, out), 0.0);
    EXPECT_EQ(out.Text(), "GetDriveGeometry failed. Error 2.\n");
}

}  // namespace
