// Steps the video decoder filters share: format-block trailing bytes (the stream headers a
// demultiplexer puts there), bottom-up RGB, frame-type flags on output samples, and proposing a
// changed output type downstream.
#pragma once

#include <cstddef>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

// The bytes that follow a format block's fixed part, when there are any.
void TrailingFormatBytes(const AM_MEDIA_TYPE& mt, size_t headerSize, const BYTE** bytes,
                         size_t* size);

// Turns a top-down picture upside down in place, for bottom-up RGB.
void FlipRows(const UMC::VideoData& picture);

// True for an RGB type with a positive height: rows go bottom-up in the sample.
bool IsBottomUpRGB(const CMediaType& mt);

// Marks the sample I, P or B through IMediaSample2 (samples without it are left alone).
HRESULT SetSampleFrameType(IMediaSample* pSample, int32_t frameType);

// Proposes `current` with new interlace flags and aspect ratio downstream; *changed tells that
// the output pin took it. A format that cannot carry them has nothing to propose.
HRESULT ProposeOutputType(CTransformOutputPin* pOutput, const CMediaType& current, DWORD flags,
                          int32_t aspectX, int32_t aspectY, bool* changed);

}  // namespace qm_MPEGDecoderFilters
