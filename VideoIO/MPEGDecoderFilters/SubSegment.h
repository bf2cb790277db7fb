// ISubSegment: notice that a new backward-played section of the stream begins.
#pragma once

#include "platform/com/Unknown.h"

namespace qm_MPEGDecoderFilters {

QM_DEFINE_GUID(IID_ISubSegment, 0x19806FFD, 0xCE7F, 0x4031, 0xA3, 0x83, 0xA3, 0x72, 0x58, 0x31,
               0x0D, 0x6E);

struct ISubSegment : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE NewSubSegment(REFERENCE_TIME tStart, double dRate) = 0;

protected:
    ~ISubSegment() = default;
};

}  // namespace qm_MPEGDecoderFilters
