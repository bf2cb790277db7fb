// Splits an MPEG-1/2 video elementary stream into one unit per coded picture (with the sequence
// and GOP headers that precede it) and gives each unit the presentation time that a
// demultiplexer would: (frames before its GOP + temporal_reference) x the frame period.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/win32/WinTypes.h"

namespace qmdecode {

struct VideoUnit {
    size_t offset;
    size_t size;
    REFERENCE_TIME pts;
};

std::vector<VideoUnit> SplitVideoUnits(const uint8_t* data, size_t size,
                                       REFERENCE_TIME framePeriod);

}  // namespace qmdecode
