// The Win32 disk queries behind drive discovery, made for real. Under Wine a
// volume reports no disk extents and PhysicalDrive0 is a fixed disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <bitset>
#include <string>

#include "device/card_drive.h"

namespace {

class CapturedText final : public kro::TextSink {
public:
    void Write(std::string_view text) override { text_ += text; }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

TEST(DiskQueriesOnWindows, FirstPhysicalDriveReportsAFixedDiskGeometry) {
    kro::DiskGeometry geometry{};
    CapturedText out;
    const double size =
        kro::ReportDriveGeometry(L"\\\\.\\PhysicalDrive0", geometry, kro::SystemDiskQueries(), out);
    ASSERT_GT(size, 0.0);
    EXPECT_EQ(geometry.mediaType, kro::kFixedMedia);
    EXPECT_GT(geometry.bytesPerSector, 0u);
    EXPECT_EQ(out.Text().rfind("Drive path      = \\\\.\\PhysicalDrive0\nCylinders       = ", 0), 0u);
}

TEST(DiskQueriesOnWindows, DiskMinusOneFailsWithTheSystemError) {
    kro::DiskGeometry geometry{};
    CapturedText out;
    EXPECT_EQ(kro::ReportDriveGeometry(L"\\\\.\\PhysicalDrive-1", geometry, kro::SystemDiskQueries(), out),
              0.0);
    EXPECT_NE(kro::SystemDiskQueries().LastError(), 0u);
    EXPECT_EQ(out.Text().rfind("GetDriveGeometry failed. Error ", 0), 0u);
}

TEST(DiskQueriesOnWindows, WalkOverTheRealDrivesFindsNoCardAndReportsEachDrive) {
    const std::uint32_t drives = kro::SystemDiskQueries().LogicalDrives();
    ASSERT_NE(drives & (1u << ('C' - 'A')), 0u);
    CapturedText out;
    EXPECT_EQ(kro::FindCardDrive(2, kro::SystemDiskQueries(), out), "");
    std::size_t reports = 0;
    for (std::size_t at = 0; (at = out.Text().find("Drive path", at)) != std::string::npos; ++at) ++reports;
    for (std::size_t at = 0; (at = out.Text().find("GetDriveGeometry failed", at)) != std::string::npos;
         ++at) {
        ++reports;
    }
    EXPECT_EQ(reports, std::bitset<26>(drives).count());
}

TEST(DiskQueriesOnWindows, AnsiTextIsWidenedThroughTheCodePage) {
    EXPECT_EQ(kro::SystemDiskQueries().AnsiToWide("\\\\.\\PhysicalDrive-1"), L"\\\\.\\PhysicalDrive-1");
    // Hangul in code page 949 (the sessions' ANSI code page).
    EXPECT_EQ(kro::SystemDiskQueries().AnsiToWide("\xC0\xCC"), L"\uC774");
}

// A failed call's diagnostic line carries the system's own reason, on one
// line, and the failure's code survives the report for the caller.
TEST(DiskQueriesOnWindows, AFailureIsReportedWithTheSystemsReason) {
    const std::string reason = kro::SystemErrorText(ERROR_FILE_NOT_FOUND);
    EXPECT_NE(reason, "error 2") << "no system text for a common error";
    ASSERT_FALSE(reason.empty());
    EXPECT_EQ(reason.find_first_of("\r\n"), std::string::npos) << reason;
    CapturedText out;
    kro::ReportSystemFailure(out, "CreateFileW \\\\.\\PhysicalDrive-1", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(out.Text(), "CreateFileW \\\\.\\PhysicalDrive-1 failed: " + reason + " (2)\n");
    EXPECT_EQ(kro::SystemErrorText(0xE0FFFFFFu), "error 3774873599");

    SetLastError(ERROR_ACCESS_DENIED);
    kro::ReportLastError("probe");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

}  // namespace
