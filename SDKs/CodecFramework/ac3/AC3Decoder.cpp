#include "SDKs/CodecFramework/ac3/AC3Decoder.h"

#include <cmath>
#include <cstring>

#include "SDKs/CodecFramework/ac3/Ac3State.h"

namespace UMC {

namespace {

Status Translate(int result) {
    switch (result) {
        case ac3::kFrameDecoded:
            return STATUS_OK;
        case ac3::kNeedMoreData:
            return STATUS_NOT_ENOUGH_DATA;
        case ac3::kBadParameter:
            return STATUS_INVALID_PARAMS;
        case ac3::kOutOfMemory:
            return STATUS_ALLOC_FAILED;
        case ac3::kUndecodableFrame:
            return STATUS_INVALID_STREAM;
        case ac3::kNullPointer:
            return STATUS_NULL_PTR;
        case ac3::kNoSyncWord:
            return STATUS_SYNC_NOT_FOUND;
        case ac3::kOutputTooSmall:
            return STATUS_NOT_ENOUGH_BUFFER;
        default:
            return STATUS_NOT_IMPLEMENTED;
    }
}

constexpr int32_t kStreamTypeAc3 = 4;

void RebaseState(void* state, ptrdiff_t delta) {
    ac3::StateRebase(static_cast<ac3::State*>(state), delta);
}

}  // namespace

AC3Decoder::~AC3Decoder() {
    Close();
}

Status AC3Decoder::Init(BaseCodecParams* params) {
    if (m_record.initialised || m_record.block.Exists()) Close();
    BaseCodecParams defaults;
    if (BaseCodec::Init(params ? params : &defaults) != STATUS_OK) return STATUS_ALLOC_FAILED;
    const int r = m_record.block.Create(m_pMemoryAllocator, ac3::StateInit, RebaseState,
                                        ac3::kFrameDecoded, ac3::kOutOfMemory);
    if (r != ac3::kFrameDecoded) return Translate(r);
    m_record.infoValid = 0;
    m_record.frameNumber = 0;
    m_record.nextTime = 0.0;
    m_record.initialised = 1;
    if (params) return SetParams(params);
    return STATUS_OK;
}

Status AC3Decoder::GetFrame(MediaData* input, MediaData* output) {
    if (!input || !output) return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    if (!input->GetDataPointer() || !output->GetDataPointer()) return STATUS_NULL_PTR;
    ac3::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;

    const size_t outBytes =
        output->GetBufferSize() - size_t(output->GetDataPointer() - output->GetBufferPointer());
    int16_t* pcm = reinterpret_cast<int16_t*>(output->GetDataPointer());
    size_t consumed = 0;
    int r = ac3::DecodeFrame(s, input->GetDataPointer(), input->GetDataSize(), pcm, outBytes,
                             &consumed);
    const int channels = s->outChannels;
    const int rate = s->bsi.sampleRate;
    input->MoveDataPointer(ptrdiff_t(consumed));
    if (consumed > 0 && (r == ac3::kFrameDecoded || r == ac3::kUndecodableFrame)) {
        double start = input->GetTime();
        if (start == -1.0) start = m_record.nextTime;
        const double end = start + double(ac3::kFrameSamples) / double(rate);
        m_record.nextTime = end;
        input->SetTime(end, 0.0);
        const size_t bytes = size_t(channels) * ac3::kFrameSamples * sizeof(int16_t);
        if (r == ac3::kUndecodableFrame) std::memset(pcm, 0, bytes);
        output->SetDataSize(bytes);
        output->SetTime(start, end);
        if (r == ac3::kFrameDecoded) {
            if (auto* audio = DynamicCast<AudioData>(output)) {
                audio->m_iChannels = channels;
                audio->m_iSampleFrequency = rate;
                audio->m_iBitPerSample = 16;
                audio->m_iChannelMask = ac3::ChannelMask(s->outAcmod, s->outLfe);
            }
            m_record.frameNumber = uint32_t(s->framesDecoded);
            const ac3::Bsi& bsi = s->bsi;
            m_record.in.channels = bsi.nfchans + bsi.lfeon;
            m_record.in.sample_frequency = rate;
            m_record.in.bitPerSample = 16;
            m_record.in.bitrate = bsi.bitrateKbps * 1000;
            m_record.in.channel_mask = ac3::ChannelMask(bsi.acmod, bsi.lfeon);
            m_record.in.stream_type = kStreamTypeAc3;
            m_record.infoValid = 1;
        }
    }
    m_record.Unlock();
    return Translate(r);
}

Status AC3Decoder::GetInfo(BaseCodecParams* info) {
    if (!info) return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    BaseCodec::GetInfo(info);
    auto* audio = DynamicCast<AudioCodecParams>(info);
    if (!audio) return STATUS_OK;
    audio->m_SuggestedInputSize = 3840;
    audio->m_SuggestedOutputSize = 18432;
    audio->m_info_in.stream_type = kStreamTypeAc3;
    audio->m_info_in.bitPerSample = 16;
    audio->m_info_out.bitPerSample = 16;
    ac3::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;
    if (m_record.infoValid) {
        audio->m_info_in.sample_frequency = m_record.in.sample_frequency;
        audio->m_info_in.bitrate = m_record.in.bitrate;
        audio->m_info_in.channel_mask = m_record.in.channel_mask;
    }
    audio->m_info_out.channels = s->outChannels;
    audio->m_info_out.sample_frequency = s->bsi.sampleRate;
    audio->m_info_out.channel_mask = ac3::ChannelMask(s->outAcmod, s->outLfe);
    audio->m_frame_num = m_record.frameNumber;
    m_record.Unlock();
    return STATUS_OK;
}

Status AC3Decoder::Close() {
    m_record.block.Free();
    m_record.initialised = 0;
    m_record.infoValid = 0;
    BaseCodec::Close();
    return STATUS_OK;
}

Status AC3Decoder::Reset() {
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    ac3::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;
    ac3::StateReset(s);
    m_record.Unlock();
    return STATUS_OK;
}

Status AC3Decoder::SetParams(BaseCodecParams* params) {
    auto* p = DynamicCast<AC3DecoderParams>(params);
    if (!p) return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    ac3::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;
    // Each field is taken only when it is in range; the others keep their values.
    if (p->output_config <= 8) s->outputConfig = p->output_config;
    if (p->output_lfe <= 1) s->outputLfe = p->output_lfe;
    if (p->dual_mono_mode <= 3) s->dualMonoMode = p->dual_mono_mode;
    if (p->drc_boost_scale >= 0.0f && p->drc_boost_scale <= 1.0f)
        s->drcBoostScale = p->drc_boost_scale;
    if (p->drc_cut_scale >= 0.0f && p->drc_cut_scale <= 1.0f) s->drcCutScale = p->drc_cut_scale;
    if (p->drc_mode <= 3) s->drcMode = p->drc_mode;
    if (p->stereo_mode >= -1 && p->stereo_mode <= 3) s->stereoMode = p->stereo_mode;
    if (p->conceal_mode <= 1) s->concealMode = p->conceal_mode;
    if (p->output_gain >= 0.0f && std::isfinite(p->output_gain)) s->outputGain = p->output_gain;
    ac3::ChooseOutput(s);
    m_record.Unlock();
    return STATUS_OK;
}

Status AC3Decoder::GetDuration(float* duration) {
    if (!duration) return STATUS_NULL_PTR;
    if (!m_record.initialised) return STATUS_NOT_INITIALIZED;
    ac3::State* s = m_record.Lock();
    if (!s) return STATUS_ALLOC_FAILED;
    *duration = float(double(s->framesDecoded) * ac3::kFrameSamples / double(s->bsi.sampleRate));
    m_record.Unlock();
    return STATUS_OK;
}

}  // namespace UMC
