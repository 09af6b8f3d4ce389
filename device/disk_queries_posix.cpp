#include <cerrno>

#include "device/disk_queries.h"

namespace kro {
namespace {

// There are no drive letters here, so the walk finds no card drive; the
// other queries fail as a missing device would.
class PosixDiskQueries final : public DiskQueries {
public:
    static bool NoDevice() {
        errno = ENODEV;
        return false;
    }

    std::uint32_t LogicalDrives() override { return 0; }

    bool VolumeDiskExtentsOf(const std::string&, std::uint8_t*, std::size_t) override { return NoDevice(); }

    bool DriveGeometryOf(const std::wstring&, DiskGeometry&) override { return NoDevice(); }

    std::uint32_t LastError() override { return static_cast<std::uint32_t>(errno); }

    std::wstring AnsiToWide(const std::string& text) override {
        std::wstring wide;
        wide.reserve(text.size());
        for (const char c : text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
        return wide;
    }
};

}  // namespace

DiskQueries& SystemDiskQueries() {
    static PosixDiskQueries queries;
    return queries;
}

}  // namespace kro
