// The ten exports a caller uses, behind the C entry points of exports.cpp.
// Every operation reads the fault switches first, honours a slow-call delay,
// and returns 0 for a handle that KRO_Create did not hand out (or that was
// deleted).
#pragma once

#include <cstdint>

#include "device/kro_api.h"

namespace kro::sim {

KroHandle Create();
std::int32_t Delete(KroHandle handle);
// Writes the card's disk number, or 0 without a card; 1 when a card is present.
std::int32_t CheckDevice(KroHandle handle, std::uint8_t* deviceValue);
// Writes the card's label into the 65-byte area, 1/0 for "card present",
// the container format version and 0; 1 when a card is present.
std::int32_t GetFileFlag(KroHandle handle, char* area, std::uint8_t* present, std::uint8_t* version,
                         std::uint8_t* reserved);
std::int32_t GetFileCount(KroHandle handle, std::uint8_t category);
std::int32_t GetFileList(KroHandle handle, std::uint8_t category, std::int32_t capacity,
                         RecordingEntry* entries, std::int32_t* auxiliary, std::uint32_t* sizes,
                         std::int32_t* durations);
// Fills the record of the recording listed under `name` (in any category);
// 0 with a zero-filled record when there is no such recording.
std::int32_t GetFileIndexInfo(KroHandle handle, std::uint8_t category, const char* name,
                              RecordingIndexInfo* info);
std::int32_t MakeAviFile(KroHandle handle, const char* name);
std::int32_t MakeKroFile(KroHandle handle, const char* name);
std::int32_t MakePictureFile(KroHandle handle, const char* name, std::int32_t* size, std::uint8_t* buffer);

}  // namespace kro::sim
