#include <windows.h>
#include <winioctl.h>

#include <utility>

#include "device/disk_queries.h"
#include "device/text_sink.h"
#include "win32/owned_handle.h"

namespace kro {
namespace {

static_assert(sizeof(DISK_GEOMETRY) == sizeof(DiskGeometry));
static_assert(offsetof(DISK_GEOMETRY, MediaType) == offsetof(DiskGeometry, mediaType));
static_assert(offsetof(DISK_GEOMETRY, BytesPerSector) == offsetof(DiskGeometry, bytesPerSector));
static_assert(sizeof(DISK_EXTENT) == sizeof(DiskExtent));
static_assert(offsetof(VOLUME_DISK_EXTENTS, Extents) == offsetof(VolumeDiskExtents, extents));
static_assert(RemovableMedia == kRemovableMedia && FixedMedia == kFixedMedia);

// A physical disk path for a diagnostic line; it is plain ASCII.
std::string Narrow(const std::wstring& path) {
    std::string narrow;
    for (const wchar_t c : path) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

// Sends one request without input and closes the handle, keeping the
// request's error code for LastError (the close may change it).
bool RequestAndClose(win32::FileHandle device, DWORD code, const std::string& what, void* output,
                     DWORD outputSize) {
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device.Get(), code, nullptr, 0, output, outputSize, &returned, nullptr);
    if (!ok) ReportLastError(what);
    const DWORD error = GetLastError();
    // A query's answer stands whatever the close says.
    static_cast<void>(device.Close());
    SetLastError(error);
    return ok != FALSE;
}

class Win32DiskQueries final : public DiskQueries {
public:
    std::uint32_t LogicalDrives() override { return GetLogicalDrives(); }

    bool VolumeDiskExtentsOf(const std::string& volumePath, std::uint8_t* buffer, std::size_t size) override {
        win32::FileHandle volume(CreateFileA(volumePath.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                             nullptr));
        if (!volume) {
            ReportLastError("CreateFileA " + volumePath);
            return false;
        }
        return RequestAndClose(std::move(volume), IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS,
                               "IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS on " + volumePath, buffer,
                               static_cast<DWORD>(size));
    }

    bool DriveGeometryOf(const std::wstring& diskPath, DiskGeometry& geometry) override {
        win32::FileHandle disk(CreateFileW(diskPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        if (!disk) {
            ReportLastError("CreateFileW " + Narrow(diskPath));
            return false;
        }
        return RequestAndClose(std::move(disk), IOCTL_DISK_GET_DRIVE_GEOMETRY,
                               "IOCTL_DISK_GET_DRIVE_GEOMETRY on " + Narrow(diskPath), &geometry,
                               sizeof geometry);
    }

    std::uint32_t LastError() override { return GetLastError(); }

    std::wstring AnsiToWide(const std::string& text) override {
        const int length =
            MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
        if (length <= 0) return {};
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
        return wide;
    }
};

}  // namespace

DiskQueries& SystemDiskQueries() {
    static Win32DiskQueries queries;
    return queries;
}

}  // namespace kro
