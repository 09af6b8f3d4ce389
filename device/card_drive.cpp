#include "device/card_drive.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace kro {
namespace {

// GetLogicalDrives uses bits 0..25 (A..Z); any higher bit names no drive.
constexpr std::uint32_t kDriveLetterBits = (1u << 26) - 1;
constexpr double kBytesPerGigabyte = 1073741824.0;

std::string PhysicalDrivePath(std::int32_t diskNumber) {
    char path[32];
    std::snprintf(path, sizeof path, "\\\\.\\PhysicalDrive%" PRId32, diskNumber);
    return path;
}

// The physical disk path is plain ASCII, so narrowing it is exact.
std::string Narrow(const std::wstring& text) {
    std::string narrow;
    narrow.reserve(text.size());
    for (const wchar_t c : text)
        narrow.push_back(static_cast<std::uint32_t>(c) < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

void WriteFormatted(TextSink& out, const char* format, auto... values) {
    char line[160];
    const int length = std::snprintf(line, sizeof line, format, values...);
    if (length > 0) out.Write(std::string_view(line, static_cast<std::size_t>(length)));
}

}  // namespace

std::string FindCardDrive(std::int8_t wantedDisk, DiskQueries& disks, TextSink& out) {
    std::string result;
    char root[] = "?:\\";
    std::uint32_t drives = disks.LogicalDrives() & kDriveLetterBits;
    for (int bit = 0; drives != 0; ++bit, drives >>= 1) {
        if ((drives & 1u) == 0) continue;
        root[0] = static_cast<char>('A' + bit);
        const std::int32_t diskNumber = GetVolumeDiskNumber(root[0], disks);
        const std::wstring diskPath = disks.AnsiToWide(PhysicalDrivePath(diskNumber));
        DiskGeometry geometry{};
        const double size = ReportDriveGeometry(diskPath, geometry, disks, out);
        if (size != 0 && geometry.mediaType == kRemovableMedia &&
            diskNumber == static_cast<std::int32_t>(wantedDisk)) {
            result = root;
            break;
        }
    }
    return result;
}

std::int32_t GetVolumeDiskNumber(char driveLetter, DiskQueries& disks) {
    char volumePath[] = "\\\\?\\?:";
    volumePath[4] = driveLetter;
    std::uint8_t buffer[kVolumeExtentsBufferSize] = {};
    if (!disks.VolumeDiskExtentsOf(volumePath, buffer, sizeof buffer)) return -1;
    VolumeDiskExtents extents;
    std::memcpy(&extents, buffer, sizeof extents);
    if (extents.numberOfDiskExtents < 1) return -1;
    return static_cast<std::int32_t>(extents.extents[0].diskNumber);
}

bool QueryDriveGeometry(const std::wstring& diskPath, DiskGeometry& geometry, DiskQueries& disks) {
    return disks.DriveGeometryOf(diskPath, geometry);
}

double ReportDriveGeometry(const std::wstring& diskPath, DiskGeometry& geometry, DiskQueries& disks,
                           TextSink& out) {
    std::uint64_t size = 0;
    if (QueryDriveGeometry(diskPath, geometry, disks)) {
        // The lines print the 32-bit fields and the size as signed values.
        WriteFormatted(out, "Drive path      = %s\n", Narrow(diskPath).c_str());
        WriteFormatted(out, "Cylinders       = %" PRId64 "\n", geometry.cylinders);
        WriteFormatted(out, "Tracks/cylinder = %" PRId32 "\n",
                       static_cast<std::int32_t>(geometry.tracksPerCylinder));
        WriteFormatted(out, "Sectors/track   = %" PRId32 "\n",
                       static_cast<std::int32_t>(geometry.sectorsPerTrack));
        WriteFormatted(out, "Bytes/sector    = %" PRId32 "\n",
                       static_cast<std::int32_t>(geometry.bytesPerSector));
        size = static_cast<std::uint64_t>(geometry.cylinders) * geometry.tracksPerCylinder *
               geometry.sectorsPerTrack * geometry.bytesPerSector;
        WriteFormatted(out, "Disk size       = %" PRId64 " (Bytes)\n                = %.2f (Gb)\n",
                       static_cast<std::int64_t>(size), static_cast<double>(size) / kBytesPerGigabyte);
    } else {
        WriteFormatted(out, "GetDriveGeometry failed. Error %" PRId32 ".\n",
                       static_cast<std::int32_t>(disks.LastError()));
    }
    return static_cast<double>(size);
}

}  // namespace kro
