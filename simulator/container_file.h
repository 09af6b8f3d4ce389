// Reading a stored recording: the frame layout of its streams and whole
// frames, checked against the header as they are read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "simulator/avi_writer.h"
#include "simulator/container.h"

namespace kro::sim {

enum class Stream { Front, Rear };

// Where each frame of a stream lies in the file. Empty when the stream does
// not hold exactly the header's frame count and byte count, or when a frame
// does not start like a JPEG picture.
std::optional<std::vector<FrameSpan>> IndexStream(std::FILE* file, const ContainerHeader& header,
                                                  Stream stream);

// The first frame of the front stream, when it is no longer than `limit`.
std::optional<std::vector<std::uint8_t>> ReadFirstFrame(std::FILE* file, const ContainerHeader& header,
                                                        std::uint32_t limit);

}  // namespace kro::sim
