#include "SDKs/CodecFramework/core/VideoDecoder.h"

namespace UMC {

VideoDecoder::~VideoDecoder() {
    delete m_allocatedPostProcessing;
    m_allocatedPostProcessing = nullptr;
    m_PostProcessing = nullptr;
    m_LastDecodedFrame.Close();
}

Status VideoDecoder::Init(BaseCodecParams* params) {
    Status st = BaseCodec::Init(params);
    if (st != STATUS_OK) return st;
    if (auto* vp = DynamicCast<VideoDecoderParams>(params)) {
        m_ClipInfo = vp->info;
        if (vp->pPostProcessing) m_PostProcessing = vp->pPostProcessing;
    }
    return STATUS_OK;
}

Status VideoDecoder::GetInfo(BaseCodecParams* info) {
    Status st = BaseCodec::GetInfo(info);
    if (st != STATUS_OK) return st;
    if (auto* vp = DynamicCast<VideoDecoderParams>(info)) {
        vp->info = m_ClipInfo;
        vp->pPostProcessing = m_PostProcessing;
    }
    return STATUS_OK;
}

Status VideoDecoder::Close() {
    m_LastDecodedFrame.Close();
    return BaseCodec::Close();
}

Status VideoDecoder::SetParams(BaseCodecParams* params) {
    auto* vp = DynamicCast<VideoDecoderParams>(params);
    if (!vp) return STATUS_NULL_PTR;
    m_ClipInfo = vp->info;
    return STATUS_OK;
}

Status VideoDecoder::PreviewLastFrame(VideoData* output, BaseCodec* postProcessing) {
    BaseCodec* stage = postProcessing ? postProcessing : m_PostProcessing;
    if (!stage) return STATUS_NOT_INITIALIZED;
    if (!output) return STATUS_NULL_PTR;
    return stage->GetFrame(&m_LastDecodedFrame, output);
}

Status VideoDecoder::GetUserData(MediaData*) {
    return STATUS_NOT_IMPLEMENTED;
}

void VideoDecoder::SetOwnPostProcessing(BaseCodec* stage) {
    if (m_allocatedPostProcessing != stage) delete m_allocatedPostProcessing;
    m_allocatedPostProcessing = stage;
    m_PostProcessing = stage;
}

}  // namespace UMC
