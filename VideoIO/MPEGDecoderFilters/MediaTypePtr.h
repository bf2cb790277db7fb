// Owns an AM_MEDIA_TYPE handed out by IMediaSample::GetMediaType and frees it (DeleteMediaType).
#pragma once

#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

class MediaTypePtr {
public:
    MediaTypePtr() = default;
    ~MediaTypePtr() { Free(); }
    MediaTypePtr(const MediaTypePtr&) = delete;
    MediaTypePtr& operator=(const MediaTypePtr&) = delete;

    AM_MEDIA_TYPE** Receive() {
        Free();
        return &m_pmt;
    }
    AM_MEDIA_TYPE* Get() const { return m_pmt; }
    bool IsNull() const { return m_pmt == nullptr; }
    void Free() {
        if (m_pmt) DeleteMediaType(m_pmt);
        m_pmt = nullptr;
    }

private:
    AM_MEDIA_TYPE* m_pmt = nullptr;
};

}  // namespace qm_MPEGDecoderFilters
