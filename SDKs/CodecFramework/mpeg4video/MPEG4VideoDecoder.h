// The MPEG-4 Part 2 video decoder as the framework sees it: finds the next VOP in the caller's
// input, decodes it into one of three frames, rotates the references, picks the picture to show
// (decoding or display order), stamps it, optionally post-filters it and converts it into the
// caller's output through the post-processing chain.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "SDKs/CodecFramework/core/VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4FrameBuffer.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4PostFilter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"

namespace UMC {

// A frame was output but its VOP was damaged.
inline constexpr Status kMpeg4FrameDamaged = Status(2);

class MPEG4VideoDecoder : public VideoDecoder {
    UMC_CLASS_IDENTITY(MPEG4VideoDecoder, VideoDecoder)

public:
    MPEG4VideoDecoder();
    ~MPEG4VideoDecoder() override;

    Status Init(BaseCodecParams* params) override;
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status GetInfo(BaseCodecParams* info) override;
    Status Close() override;
    Status Reset() override;
    Status ResetSkipCount() override;
    Status SkipVideoFrame(int32_t count) override;
    uint32_t GetNumOfSkippedFrames() override;

    Status SetDeblocking(uint8_t y, uint8_t u, uint8_t v, int32_t thr1, int32_t thr2);
    Status SetDeringing(uint8_t y, uint8_t u, uint8_t v);

    // For tests and the tools.
    const MPEG4DecoderState& State() const { return *m_state; }

private:
    enum { kCurrent, kForward, kBackward, kSprite, kFilter0, kFilter1, kFrameCount };

    Status SearchHeaders();
    Status AllocateBuffers();
    void FreeBuffers();
    Status LockBuffers();
    void UnlockBuffers();
    Status AdoptLayer(const Mpeg4Vol& previous);
    Status DecodeNextVop(MPEG4FrameBuffer** output);
    int32_t DispatchVop(int64_t time, MPEG4FrameBuffer** output);
    bool SpriteVop() const;
    Status PreparePostFilterFrame(const MPEG4FrameBuffer& source,
                                  mpeg4::Mpeg4FrameMemory& filtered);
    double StampOutput(MediaData* input, const MPEG4FrameBuffer& frame);
    Status Output(MPEG4FrameBuffer& frame, double time, MediaData* output, int32_t damaged);
    Status GetFrameBody(MediaData* input, MediaData* output);

    std::unique_ptr<MPEG4DecoderState> m_state;
    VideoDecoderParams m_params;
    Mpeg4PaddedInput m_input;
    mpeg4::Mpeg4FrameMemory m_frames[kFrameCount];
    mpeg4::Mpeg4MacroblockArrays m_arrays;

    bool m_initialised = false;
    bool m_headersFound = false;
    bool m_waitForI = false;
    bool m_reorderAtEnd = false;
    bool m_backwardHoldsFuture = false;
    int32_t m_decodedVops = 0;
    int32_t m_vopCounts[4] = {};
    MPEG4FrameBuffer* m_outputFrame = nullptr;
    int64_t m_olderReferenceTime = 0;
    int64_t m_newerReferenceTime = 0;

    double m_firstTime = -1.0;
    double m_lastOutputTime = 0.0;
    double m_frameDuration = 0.0;
    int64_t m_baseVopTime = 0;

    int32_t m_skipRequests = 0;
    uint32_t m_skipped = 0;
    bool m_skipAlternate = false;

    mpeg4::Mpeg4PostFilterSettings m_postFilter;
};

}  // namespace UMC
