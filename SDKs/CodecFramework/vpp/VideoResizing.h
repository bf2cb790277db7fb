// The resizing stage: scales a picture to the output's size in the same layout.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/core/BaseCodec.h"
#include "SDKs/CodecFramework/core/VideoData.h"

namespace UMC {

class VideoResizing : public BaseCodec {
    UMC_CLASS_IDENTITY(VideoResizing, BaseCodec)

public:
    VideoResizing() = default;
    ~VideoResizing() override;

    // The interpolation: 0 nearest, 1 linear, 2 cubic, 3 area (averaging, for downscaling).
    void SetMethod(int32_t method) { m_method = method; }
    int32_t GetMethod() const { return m_method; }

    // STATUS_UNSUPPORTED for layouts without a resize kernel (16-bit RGB packings, packed 4:1:1,
    // Bayer mosaics), STATUS_INVALID_PARAMS for a format mismatch or an
    // interpolation outside 0..3, STATUS_FAILED when a kernel fails.
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status Reset() override { return STATUS_OK; }
    Status Close() override;

private:
    uint8_t* Work(int bytes);

    int32_t m_method = 1;
    uint8_t* m_work = nullptr;
    int m_workSize = 0;
};

}  // namespace UMC
