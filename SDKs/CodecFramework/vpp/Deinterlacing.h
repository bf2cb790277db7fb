// The deinterlacing stage: rebuilds a frame from its two fields, plane by plane.
//
// Methods: 2 comb-adaptive blend (threshold, 21 when none is set); 3 line doubling of the top
// field; 4 comb-adaptive edge-directed interpolation (planar layouts only); 5 comb-adaptive
// four-tap interpolation; 1 edge-directed interpolation of every bottom-field row; any other value
// motion-adaptive (planar layouts only; the previous picture of each plane is kept).
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/core/BaseCodec.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "primitives/Image.h"

namespace UMC {

class Deinterlacing : public BaseCodec {
    UMC_CLASS_IDENTITY(Deinterlacing, BaseCodec)

public:
    Deinterlacing() = default;
    ~Deinterlacing() override;

    // Method 5 also sets the threshold to 6, method 6 to 17.
    void SetMethod(int32_t method);
    void SetThreshold(int32_t threshold) { m_threshold = threshold; }
    int32_t GetMethod() const { return m_method; }
    int32_t GetThreshold() const { return m_threshold; }

    // Input and output of the same format, width and height (else STATUS_INVALID_PARAMS).
    Status GetFrame(MediaData* input, MediaData* output) override;
    // Forgets the motion history.
    Status Reset() override;
    Status Close() override;

private:
    static constexpr int kMaxPlanes = 4;
    Status MotionAdaptive(int plane, const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                          SpSize size);

    int32_t m_method = 1;
    int32_t m_threshold = 0;
    ImDeinterlaceState m_state[kMaxPlanes] = {};
    uint8_t* m_history[kMaxPlanes] = {};
};

}  // namespace UMC
