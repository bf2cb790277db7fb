// The filters' private results of a decode step; they share the codec statuses' facility but
// translate no status.
#pragma once

#include "platform/win32/WinTypes.h"

namespace qm_MPEGDecoderFilters {

inline constexpr HRESULT HR_NO_FRAME = HRESULT(0x80040700);         // the codec needs more input
inline constexpr HRESULT HR_FRAME_TOO_EARLY = HRESULT(0x80040703);  // stop time before 1
inline constexpr HRESULT HR_FRAME_NO_TIME = HRESULT(0x80040704);    // picture without a time
// Inside a filter only: the codec found the picture corrupt; the output sample is dropped and
// decoding goes on with the rest of the input.
inline constexpr HRESULT HR_FRAME_DROPPED = HRESULT(0x80040705);

}  // namespace qm_MPEGDecoderFilters
