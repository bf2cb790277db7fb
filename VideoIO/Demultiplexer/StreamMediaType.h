// The media type a demultiplexer offers for an elementary stream, from what the container says
// about it and the stream's first bytes: MPEG2VIDEOINFO or MPEG1VIDEOINFO with the sequence
// header, MPEG1WAVEFORMAT (MP3: the layer III tag), AC-3 and DVD LPCM WAVEFORMATEX, and
// VIDEOINFOHEADER with the FOURCC for MPEG-4.
#pragma once

#include <string>

#include "VideoIO/MPEGSystemFilters/SystemStream.h"
#include "platform/dshow/DShow.h"

namespace qm_Demultiplexer {

// False when the bytes do not yet show what the type needs (no sequence or frame header); the
// caller tries again with more. `description` is a one-line text for listings.
bool BuildStreamMediaType(const qm_MPEGSystemFilters::StreamInfo& info, const uint8_t* data,
                          size_t size, CMediaType* type, std::string* description);
// The listing line of a stream that gets no type, saying why where that is known.
std::string UntypedStreamDescription(const qm_MPEGSystemFilters::StreamInfo& info);

}  // namespace qm_Demultiplexer
