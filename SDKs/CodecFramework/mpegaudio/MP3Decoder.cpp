#include "SDKs/CodecFramework/mpegaudio/MP3Decoder.h"

#include <cstring>

#include "SDKs/CodecFramework/mpegaudio/MpaState.h"

namespace UMC {

namespace {

Status Translate(int result) {
    switch (result) {
        case mpa::kFrameDecoded:
            return STATUS_OK;
        case mpa::kNeedMoreData:
            return STATUS_NOT_ENOUGH_DATA;
        case mpa::kBadParameter:
            return STATUS_INVALID_STREAM;
        case mpa::kOutOfMemory:
            return STATUS_ALLOC_FAILED;
        case mpa::kUndecodableFrame:
            return STATUS_INVALID_STREAM;
        case mpa::kNullPointer:
            return STATUS_NULL_PTR;
        case mpa::kNoSyncWord:
            return STATUS_SYNC_NOT_FOUND;
        case mpa::kOutputTooSmall:
            return STATUS_NOT_ENOUGH_BUFFER;
        case mpa::kUnsupported:
            return STATUS_INIT_FAILED;
        default:
            return STATUS_NOT_IMPLEMENTED;
    }
}

void Describe(const mpa::FrameHeader& h, AudioStreamInfo& info) {
    info.channels = h.channels;
    info.sample_frequency = mpa::SampleRate(h);
    info.bitPerSample = 16;
    info.bitrate = mpa::BitrateKbps(h) * 1000;
    info.channel_mask = h.channels == 1 ? 0x4u : 0x3u;
    info.version = h.id ? 1 : 2;
    info.layer = h.layer;
    info.stream_type = (h.id ? 0x100 : 0x200) | (h.layer == 1 ? 0x10 : h.layer == 2 ? 0x20 : 0x40);
}

void RebaseState(void* state, ptrdiff_t delta) {
    mpa::StateRebase(static_cast<mpa::State*>(state), delta);
}

}  // namespace

MP3Decoder::~MP3Decoder() {
    Close();
}

Status MP3Decoder::Init(BaseCodecParams* params) {
    if (!params) return STATUS_NULL_PTR;
    if (m_record.initialised || m_record.block.Exists()) Close();
    if (BaseCodec::Init(params) != STATUS_OK) return STATUS_ALLOC_FAILED;
    uint32_t lfe = 0, check = 0;
    if (auto* mp = DynamicCast<MP3DecoderParams>(params)) {
        lfe = mp->lfe_filter_mode;
        check = mp->check_next_header;
    }
    if (lfe > 1 || check > 1) return STATUS_INIT_FAILED;
    m_lfeFilterMode = lfe;
    m_checkNextHeader = check;

    const int r = m_record.block.Create(m_pMemoryAllocator, mpa::StateInit, RebaseState,
                                        mpa::kFrameDecoded, mpa::kOutOfMemory);
    if (r != mpa::kFrameDecoded) return Translate(r);
    m_record.infoValid = 0;
    m_record.frameNumber = 0;
    m_record.nextTime = 0.0;
    m_record.initialised = 1;
    return STATUS_OK;
}

Status MP3Decoder::GetFrame(MediaData* input, MediaData* output) {
    if (!input || !output || !input->GetDataPointer() || !output->GetDataPointer())
        return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    mpa::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;

    const size_t outBytes =
        output->GetBufferSize() - size_t(output->GetDataPointer() - output->GetBufferPointer());
    const size_t outSamples = outBytes / 2;
    int16_t* pcm = reinterpret_cast<int16_t*>(output->GetDataPointer());
    size_t consumed = 0;
    int r = mpa::DecodeFrame(s, input->GetDataPointer(), input->GetDataSize(), pcm, outSamples,
                             int(m_checkNextHeader), &consumed);
    if (consumed == 0) {
        m_record.Unlock();
        return Translate(r);
    }
    if (r == mpa::kFrameDecoded || r == mpa::kUndecodableFrame) {
        const mpa::FrameHeader& h = s->header;
        const int spf = mpa::SamplesPerFrame(h);
        const int rate = mpa::SampleRate(h);
        double start = input->GetTime();
        if (start < 0.0) start = m_record.nextTime;
        double end = start + double(spf) / double(rate);
        m_record.nextTime = end;
        input->MoveDataPointer(ptrdiff_t(consumed));
        input->SetTime(end, 0.0);
        const size_t needed = size_t(spf) * size_t(h.channels);
        if (outSamples >= needed) {
            if (r == mpa::kUndecodableFrame) std::memset(pcm, 0, needed * 2);
            r = mpa::kFrameDecoded;
            output->SetDataSize(needed * 2);
            output->SetTime(start, end);
        } else {
            r = mpa::kOutputTooSmall;
        }
        if (r == mpa::kFrameDecoded) {
            if (auto* audio = DynamicCast<AudioData>(output)) {
                audio->m_iChannels = h.channels;
                audio->m_iSampleFrequency = rate;
                audio->m_iBitPerSample = 16;
                audio->m_iChannelMask = h.channels == 1 ? 0x4u : 0x3u;
            }
        }
        ++m_record.frameNumber;
        Describe(h, m_record.in);
        m_record.out = m_record.in;
        m_record.infoValid = 1;
    } else {
        input->MoveDataPointer(ptrdiff_t(consumed));
    }
    m_record.Unlock();
    return Translate(r);
}

Status MP3Decoder::GetInfo(BaseCodecParams* info) {
    if (!info) return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    BaseCodec::GetInfo(info);
    auto* audio = DynamicCast<AudioCodecParams>(info);
    if (!audio) return STATUS_OK;
    audio->m_SuggestedInputSize = 4096;
    audio->m_SuggestedOutputSize = 13824;
    if (!m_record.infoValid) return Status(4);
    audio->m_info_in = m_record.in;
    audio->m_info_out = m_record.out;
    audio->m_frame_num = m_record.frameNumber;
    return STATUS_OK;
}

Status MP3Decoder::Close() {
    m_record.block.Free();
    m_record.initialised = 0;
    m_record.infoValid = 0;
    BaseCodec::Close();
    return STATUS_OK;
}

Status MP3Decoder::Reset() {
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    m_record.nextTime = 0.0;
    m_record.frameNumber = 0;
    mpa::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;
    mpa::StateReset(s);
    m_record.Unlock();
    return STATUS_OK;
}

Status MP3Decoder::SetParams(BaseCodecParams* params) {
    return params ? STATUS_NOT_IMPLEMENTED : STATUS_NULL_PTR;
}

Status MP3Decoder::GetDuration(float* duration) {
    if (!duration) return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    mpa::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;
    float d = 0.0f;
    if (s->synchronised) {
        d = float(double(m_record.frameNumber) * mpa::SamplesPerFrame(s->saved) /
                  double(mpa::SampleRate(s->saved)));
    }
    m_record.Unlock();
    *duration = d;
    return STATUS_OK;
}

}  // namespace UMC
