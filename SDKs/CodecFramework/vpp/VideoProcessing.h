// The video post-processing chain: deinterlacing, colour conversion and resizing of a decoded
// picture into the caller's output picture.
//
// How a decoder uses it: describe the decoded picture in a VideoData (Init with its width, height
// and format, plane pointers and pitches into the frame store, SetPictureStructure with the
// picture's field structure), and call
//
//     UMC::VideoProcessing chain;           // default stages, no deinterlacing
//     chain.GetFrame(&decoded, &output);    // output: the caller's VideoData, already laid out
//
// An output smaller than the picture in either direction gets the picture scaled to its size; a
// larger output receives the picture unscaled in its top-left corner and keeps the rest. The chain
// copies frame type and times to the output, sets its picture structure (progressive after
// deinterlacing) and its data size. Stages that are not needed cost nothing; YUV420 <-> YV12 is a
// plane-pointer exchange when any other stage runs. Configure with Init/SetParams
// (VideoProcessingParams): deinterlacing method (0 = off), interpolation of the resizer, crop
// rectangle of the input.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/core/BaseCodec.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/vpp/ColorSpaceConversion.h"
#include "SDKs/CodecFramework/vpp/Deinterlacing.h"
#include "SDKs/CodecFramework/vpp/VideoDataExt.h"
#include "SDKs/CodecFramework/vpp/VideoResizing.h"

namespace UMC {

class VideoProcessingParams : public BaseCodecParams {
    UMC_CLASS_IDENTITY(VideoProcessingParams, BaseCodecParams)

public:
    VideoProcessingParams() = default;

    int32_t m_iResizingMethod = 1;       // interpolation of the resizing stage (1 linear)
    int32_t m_iDeinterlacingMethod = 0;  // 0: no deinterlacing
    CropRect m_cropRect = {0, 0, 0, 0};  // all 0: no cropping
};

class VideoProcessing : public BaseCodec {
    UMC_CLASS_IDENTITY(VideoProcessing, BaseCodec)

public:
    static constexpr int kMaxStages = 8;

    VideoProcessing();
    ~VideoProcessing() override;

    // Same as SetParams.
    Status Init(BaseCodecParams* params) override;
    Status GetFrame(MediaData* input, MediaData* output) override;
    // Fills a VideoProcessingParams with the current parameters (else STATUS_NULL_PTR).
    Status GetInfo(BaseCodecParams* params) override;
    // Destroys every stage; the chain is unusable afterwards (GetFrame: STATUS_NOT_INITIALIZED).
    Status Close() override;
    // Forgets what stages remember between pictures (the motion history of deinterlacing).
    Status Reset() override;
    // Requires VideoProcessingParams (else STATUS_NULL_PTR).
    Status SetParams(BaseCodecParams* params) override;

    // Adds a stage (the chain owns it from now on): appended when atEnd, else inserted first.
    // STATUS_NULL_PTR for null, STATUS_NOT_ENOUGH_BUFFER when the table is full.
    Status AddFilter(BaseCodec* stage, bool atEnd);

    // True when GetFrame(input, output) would only copy the planes: same size, the same layout
    // or YUV420 and YV12 (the chroma planes exchanged), no cropping, deinterlacing or added
    // stage. A decoder may then write the picture straight into the output and call
    // DescribeOutput instead.
    bool CopiesOnly(const VideoData& input, const VideoData& output) const;
    // Everything GetFrame does to the output but the pixels: frame type, times, picture
    // structure and data sizes. For an output that already holds the picture (CopiesOnly).
    Status DescribeOutput(VideoData* input, VideoData* output);

    int GetStageCount() const { return m_count; }
    BaseCodec* GetStage(int position) const {
        return position >= 0 && position < m_count ? m_stages[position] : nullptr;
    }

private:
    VideoData* Intermediate(int position, int32_t width, int32_t height, ColorFormat format,
                            Status* status);
    void DestroyStages();

    VideoProcessingParams m_params;
    bool m_bCrop = false;
    BaseCodec* m_stages[kMaxStages] = {};
    bool m_owned[kMaxStages] = {};
    bool m_enabled[kMaxStages] = {};
    int m_count = 0;
    int m_iDeinterlacing = -1;
    int m_iColorInit = -1;  // pre-conversion: the colour converter again, for the fallback
    int m_iColorConv = -1;
    int m_iResizing = -1;
    VideoData* m_intermediate[kMaxStages] = {};
    VideoDataExt m_croppedInput;
    VideoDataExt m_swapped;
};

}  // namespace UMC
