// Where an elementary stream changes format midway (files joined with cat): the decoder does not
// follow such a change by itself, so the tool starts a new segment there and writes what follows
// to a numbered second output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/qmdecode/OutputWriters.h"

namespace qmdecode {

// Offsets of MPEG audio frames whose sample rate, channel count or layer differs from the frame
// before (each confirmed by the frame after it). Free-format streams end the search.
std::vector<size_t> MpegAudioFormatChanges(const uint8_t* data, size_t size);

// Whether output of the `changed` type can no longer go to the open file: audio with another
// rate, channel count or sample size, pictures that `pictures` cannot follow (it follows the
// others).
bool NeedsNewOutput(const CMediaType& current, const AM_MEDIA_TYPE& changed, bool video,
                    PictureWriter& pictures);

}  // namespace qmdecode
