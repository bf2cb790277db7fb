// A picture description that the post-processing chain re-describes freely: cropped views of the
// input and views with the chroma planes exchanged (YV12 seen as YUV420).
#pragma once

#include <utility>

#include "SDKs/CodecFramework/core/VideoData.h"

namespace UMC {

class VideoDataExt : public VideoData {
    UMC_CLASS_IDENTITY(VideoDataExt, VideoData)

public:
    VideoDataExt() = default;

    // Describes the same planes as `other` (never owning its memory).
    Status Describe(const VideoData& other) {
        VideoData::operator=(other);
        return (other.GetNumPlanes() > 0 && m_iPlanes == 0) ? STATUS_ALLOC_FAILED : STATUS_OK;
    }

    // Exchanges the descriptions of two planes.
    void SwapPlanes(int32_t a, int32_t b) {
        if (a >= 0 && b >= 0 && a < m_iPlanes && b < m_iPlanes)
            std::swap(m_pPlaneData[a], m_pPlaneData[b]);
    }

    // Relabels the format without touching the plane layout.
    void RelabelFormat(ColorFormat format) { m_colorFormat = format; }
};

}  // namespace UMC
