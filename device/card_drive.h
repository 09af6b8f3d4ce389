// Card drive discovery: finds the drive letter of the volume that lies on the
// card's physical disk (the poller's device value) and holds removable media,
// writing diagnostic lines about each disk it examines. Keeps no state; runs
// on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "device/disk_queries.h"
#include "device/text_sink.h"

namespace kro {

// The root ("F:\") of the first drive in letter order whose volume lies on
// the wanted disk and whose disk reports removable media; empty when none
// does. The wanted number is compared sign-extended from 8 bits.
std::string FindCardDrive(std::int8_t wantedDisk, DiskQueries& disks, TextSink& out);

// Disk number of the volume's first extent ("\\?\F:"), or -1.
std::int32_t GetVolumeDiskNumber(char driveLetter, DiskQueries& disks);

// Fills geometry for the physical disk path; true on success.
bool QueryDriveGeometry(const std::wstring& diskPath, DiskGeometry& geometry, DiskQueries& disks);

// QueryDriveGeometry, then the diagnostic lines; returns the disk size in
// bytes, 0 when the query failed.
double ReportDriveGeometry(const std::wstring& diskPath, DiskGeometry& geometry, DiskQueries& disks,
                           TextSink& out);

}  // namespace kro
