// The three conversions: an AVI of the front stream and a byte-exact backup,
// both written into the export folder, and the picture bytes of a photo.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/card.h"

namespace kro::sim {

inline constexpr const char* kExportFolderVariable = "KROSIM_EXPORT_DIR";

// KROSIM_EXPORT_DIR when set, else the platform's default.
std::string ExportFolder();
// Creates a folder and any missing parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

// Writes "<listed name>.avi" (the name made safe) into the export folder.
// With `fail` the file is written and then abandoned, as a conversion that
// breaks down at its end: false, and no file is left.
bool ConvertToAvi(const Recording& recording, std::string_view listedName, bool fail);
// Writes "<listed name>.kro", a byte-exact copy of the stored recording.
bool BackUp(const Recording& recording, std::string_view listedName, bool fail);
// The recording's first front frame (a photo's picture), when it fits `limit`.
std::optional<std::vector<std::uint8_t>> ReadPicture(const Recording& recording, std::uint32_t limit);

}  // namespace kro::sim
