// Seam: the operating-system queries behind card drive discovery. The Win32
// implementation opens volumes and physical disks and sends them the two
// device requests; the POSIX twin has no drive letters. Tests use a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kro {

// The Windows DISK_GEOMETRY record (24 bytes).
struct DiskGeometry {
    std::int64_t cylinders;
    std::int32_t mediaType;
    std::uint32_t tracksPerCylinder;
    std::uint32_t sectorsPerTrack;
    std::uint32_t bytesPerSector;
};
static_assert(sizeof(DiskGeometry) == 24);
static_assert(offsetof(DiskGeometry, cylinders) == 0);
static_assert(offsetof(DiskGeometry, mediaType) == 8);
static_assert(offsetof(DiskGeometry, tracksPerCylinder) == 12);
static_assert(offsetof(DiskGeometry, sectorsPerTrack) == 16);
static_assert(offsetof(DiskGeometry, bytesPerSector) == 20);

// Media type of a disk with removable media (a card), and of a fixed disk.
inline constexpr std::int32_t kRemovableMedia = 11;
inline constexpr std::int32_t kFixedMedia = 12;

// The Windows DISK_EXTENT and the head of VOLUME_DISK_EXTENTS, whose extent
// array continues past the first element.
struct DiskExtent {
    std::uint32_t diskNumber;
    std::int64_t startingOffset;
    std::int64_t extentLength;
};
static_assert(sizeof(DiskExtent) == 24);
static_assert(offsetof(DiskExtent, diskNumber) == 0);
static_assert(offsetof(DiskExtent, startingOffset) == 8);

struct VolumeDiskExtents {
    std::uint32_t numberOfDiskExtents;
    DiskExtent extents[1];
};
static_assert(sizeof(VolumeDiskExtents) == 32);
static_assert(offsetof(VolumeDiskExtents, extents) == 8);

// Size of the buffer the volume's extents are read into.
inline constexpr std::size_t kVolumeExtentsBufferSize = 100;

class DiskQueries {
public:
    virtual ~DiskQueries() = default;
    // Bit mask of the drive letters in use: bit 0 is A.
    virtual std::uint32_t LogicalDrives() = 0;
    // Opens the volume path for reading (sharing read and write), asks for
    // its disk extents into buffer (a VolumeDiskExtents record, size bytes)
    // and closes it. False when it cannot be opened or the request fails.
    virtual bool VolumeDiskExtentsOf(const std::string& volumePath, std::uint8_t* buffer,
                                     std::size_t size) = 0;
    // Opens the physical disk without access rights, asks for its geometry
    // and closes it. False when it cannot be opened or the request fails.
    virtual bool DriveGeometryOf(const std::wstring& diskPath, DiskGeometry& geometry) = 0;
    // The calling thread's last system error code.
    virtual std::uint32_t LastError() = 0;
    // Converts a text from the system's ANSI code page to wide characters.
    virtual std::wstring AnsiToWide(const std::string& text) = 0;
};

// The platform's disk queries (one program-wide object).
DiskQueries& SystemDiskQueries();

}  // namespace kro
