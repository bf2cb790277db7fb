// The MPEG-1/MPEG-2 video decoder as the framework sees it: a thin front that forwards every
// operation to an inner MPEG2VideoDecoderBase created at Init.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/core/VideoDecoder.h"

namespace UMC {

class MPEG2VideoDecoderBase;

// Flags of VideoDecoderParams::lFlags: output pictures in display order; a mode that is refused.
enum : int32_t { FLAG_VDEC_REORDER = 4, FLAG_VDEC_UNSUPPORTED = 0x100 };

class MPEG2VideoDecoder : public VideoDecoder {
    UMC_CLASS_IDENTITY(MPEG2VideoDecoder, VideoDecoder)

public:
    MPEG2VideoDecoder() = default;
    ~MPEG2VideoDecoder() override;

    Status Init(BaseCodecParams* params) override;
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status GetInfo(BaseCodecParams* info) override;
    Status Close() override;
    Status Reset() override;
    Status SetParams(BaseCodecParams* params) override;
    Status ResetSkipCount() override;
    Status SkipVideoFrame(int32_t count) override;
    uint32_t GetNumOfSkippedFrames() override;
    Status PreviewLastFrame(VideoData* output, BaseCodec* postProcessing = nullptr) override;
    Status GetUserData(MediaData* output) override;
    virtual int32_t GetSlot14Query() { return 0; }
    // Lets B frames be decoded straight into the caller's output when the post-processing stage
    // would only copy them. They then never reach a slot, so PreviewLastFrame has no picture to
    // show after one: off unless the caller asks (the filter and the command-line tools do).
    void SetDirectOutput(bool on);

    MPEG2VideoDecoderBase* Inner() const { return m_pDec; }

private:
    MPEG2VideoDecoderBase* m_pDec = nullptr;
    bool m_directOutput = false;
};

// Length of the first access unit of an elementary stream: the bytes up to the second picture
// start code (or up to a sequence header or group start code in front of it), or `size` when no
// second picture starts in the data. Feeding the decoder one access unit per call keeps every
// picture whole.
size_t Mpeg2AccessUnitLength(const uint8_t* data, size_t size);

}  // namespace UMC
