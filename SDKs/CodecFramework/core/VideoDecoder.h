// The video decoder interface: stream information, trick modes, skipping and the last picture.
#pragma once

#include "SDKs/CodecFramework/core/BaseCodec.h"
#include "SDKs/CodecFramework/core/ColorFormat.h"
#include "SDKs/CodecFramework/core/VideoData.h"

namespace UMC {

// Stream types carried in VideoStreamInfo::stream_type.
enum VideoStreamType : int32_t {
    UNDEF_VIDEO = 0,
    MPEG1_VIDEO = 17,
    MPEG2_VIDEO = 18,
};

// Interlace types carried in VideoStreamInfo::interlace_type.
enum InterlaceType : int32_t {
    PROGRESSIVE = 0,
    INTERLEAVED_TOP_FIELD_FIRST = 2,
    INTERLEAVED_BOTTOM_FIELD_FIRST = 3,
};

// Trick modes of VideoDecoderParams::lTrickModesFlag.
enum TrickMode : int32_t {
    UMC_TRICK_MODES_NO = 0,
    UMC_TRICK_MODES_REF_ONLY = 3,    // skip B pictures
    UMC_TRICK_MODES_INTRA_ONLY = 5,  // skip P and B pictures
    UMC_TRICK_MODES_RATE = 7,        // set the playback rate
};

// The 64-byte stream information record.
struct VideoStreamInfo {
    int32_t clip_width = 0;
    int32_t clip_height = 0;
    int32_t disp_clip_width = 0;  // 0: same as the picture
    int32_t disp_clip_height = 0;
    ColorFormat color_format = NONE;
    int32_t bitrate = 0;
    int32_t aspect_ratio_width = 0;
    int32_t aspect_ratio_height = 0;
    double framerate = 0.0;
    int32_t reserved0 = 0;
    int32_t reserved1 = 0;
    int32_t interlace_type = PROGRESSIVE;
    int32_t stream_type = UNDEF_VIDEO;
    int32_t stream_subtype = 0;
    int32_t reserved2 = 0;
};
static_assert(sizeof(VideoStreamInfo) == 64);

class VideoDecoderParams : public BaseCodecParams {
    UMC_CLASS_IDENTITY(VideoDecoderParams, BaseCodecParams)

public:
    VideoStreamInfo info;
    int32_t m_extra0 = 0;  // kept and returned by the decoder (the MPEG-2 filter: input profile)
    int32_t m_extra1 = 0;  // (the MPEG-2 filter: input level)
    int32_t lFlags = 0;    // the MPEG-2 decoder refuses 0x100
    int32_t lTrickModesFlag = UMC_TRICK_MODES_NO;
    double dPlaybackRate = 1.0;
    BaseCodec* pPostProcessing = nullptr;  // a UMC::VideoProcessing, or null for the decoder's own
    intptr_t m_reserved1 = 0;
};

class VideoDecoder : public BaseCodec {
    UMC_CLASS_IDENTITY(VideoDecoder, BaseCodec)

public:
    VideoDecoder() = default;
    ~VideoDecoder() override;

    Status Init(BaseCodecParams* params) override;
    Status GetInfo(BaseCodecParams* info) override;
    Status Close() override;
    Status SetParams(BaseCodecParams* params) override;

    virtual Status ResetSkipCount() = 0;
    virtual Status SkipVideoFrame(int32_t count) = 0;
    virtual uint32_t GetNumOfSkippedFrames() = 0;
    // Runs a post-processing stage (given, or the decoder's own) on the last decoded picture.
    virtual Status PreviewLastFrame(VideoData* output, BaseCodec* postProcessing = nullptr);
    virtual Status GetUserData(MediaData* output);

protected:
    // Adopts a stage that the decoder created itself; it is destroyed with the decoder.
    void SetOwnPostProcessing(BaseCodec* stage);

    VideoStreamInfo m_ClipInfo;
    VideoData m_LastDecodedFrame;
    BaseCodec* m_PostProcessing = nullptr;
    BaseCodec* m_allocatedPostProcessing = nullptr;
};

}  // namespace UMC
