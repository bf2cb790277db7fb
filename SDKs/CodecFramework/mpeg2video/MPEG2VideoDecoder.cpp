#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"

#include <new>

#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"

namespace UMC {

MPEG2VideoDecoder::~MPEG2VideoDecoder() {
    Close();
}

Status MPEG2VideoDecoder::Init(BaseCodecParams* params) {
    Close();
    m_pDec = new (std::nothrow) MPEG2VideoDecoderBase;
    if (!m_pDec) return STATUS_ALLOC_FAILED;
    m_pDec->SetDirectOutput(m_directOutput);
    Status st = m_pDec->Init(params);
    if (st != STATUS_OK) Close();
    return st;
}

void MPEG2VideoDecoder::SetDirectOutput(bool on) {
    m_directOutput = on;
    if (m_pDec) m_pDec->SetDirectOutput(on);
}

Status MPEG2VideoDecoder::GetFrame(MediaData* input, MediaData* output) {
    return m_pDec ? m_pDec->GetFrame(input, output) : STATUS_NOT_INITIALIZED;
}

Status MPEG2VideoDecoder::GetInfo(BaseCodecParams* info) {
    return m_pDec ? m_pDec->GetInfo(info) : STATUS_NOT_INITIALIZED;
}

Status MPEG2VideoDecoder::Close() {
    delete m_pDec;
    m_pDec = nullptr;
    return STATUS_OK;
}

Status MPEG2VideoDecoder::Reset() {
    return m_pDec ? m_pDec->Reset() : STATUS_NOT_INITIALIZED;
}

Status MPEG2VideoDecoder::SetParams(BaseCodecParams* params) {
    return m_pDec ? m_pDec->SetParams(params) : STATUS_NOT_INITIALIZED;
}

Status MPEG2VideoDecoder::ResetSkipCount() {
    return m_pDec ? m_pDec->ResetSkipCount() : STATUS_NOT_INITIALIZED;
}

Status MPEG2VideoDecoder::SkipVideoFrame(int32_t count) {
    return m_pDec ? m_pDec->SkipVideoFrame(count) : STATUS_NOT_INITIALIZED;
}

uint32_t MPEG2VideoDecoder::GetNumOfSkippedFrames() {
    return m_pDec ? m_pDec->GetNumOfSkippedFrames() : 0;
}

Status MPEG2VideoDecoder::PreviewLastFrame(VideoData* output, BaseCodec* postProcessing) {
    return m_pDec ? m_pDec->PreviewLastFrame(output, postProcessing) : STATUS_NOT_INITIALIZED;
}

Status MPEG2VideoDecoder::GetUserData(MediaData* output) {
    return m_pDec ? m_pDec->GetUserData(output) : STATUS_NOT_INITIALIZED;
}

size_t Mpeg2AccessUnitLength(const uint8_t* data, size_t size) {
    if (!data) return 0;
    bool picture = false;
    size_t headersStart = 0;  // first sequence/GOP header after the picture's slices
    bool inHeaders = false;
    Mpeg2BitReader bs;
    bs.Init(data, size);
    for (int code; (code = bs.FindStartCode()) >= 0; bs.Skip(32)) {
        const size_t prefix = size_t(bs.ptr - data);
        if (code == 0x00) {
            if (picture) return inHeaders ? headersStart : prefix;
            picture = true;
            inHeaders = false;
        } else if (picture && (code == 0xB3 || code == 0xB8) && !inHeaders) {
            inHeaders = true;
            headersStart = prefix;
        }
    }
    return size;
}

}  // namespace UMC
