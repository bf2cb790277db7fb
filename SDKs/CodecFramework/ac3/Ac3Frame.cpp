// State layout and the frame driver: sync search, frame size, CRC checks, the six audio blocks
// and the concealment of damaged ones.
#include <cstring>

#include "SDKs/CodecFramework/ac3/Ac3State.h"
#include "primitives/Signal.h"

namespace UMC {
namespace ac3 {

namespace {

size_t Align32(size_t v) {
    return (v + 31) & ~size_t(31);
}

}  // namespace

int StateInit(uint8_t* memory, size_t* size) {
    int spec512 = 0, init512 = 0, work512 = 0, spec256 = 0, init256 = 0, work256 = 0;
    if (acMdctGetSizes(512, &spec512, &init512, &work512) != 0 ||
        acMdctGetSizes(256, &spec256, &init256, &work256) != 0)
        return kBadParameter;
    size_t offset = Align32(sizeof(State));
    const size_t specOffset512 = offset;
    offset += Align32(size_t(spec512));
    const size_t specOffset256 = offset;
    offset += Align32(size_t(spec256));
    const size_t workOffset = offset;
    offset += Align32(size_t(work512 > work256 ? work512 : work256) + 32);
    const size_t initOffset = offset;
    offset += Align32(size_t(init512 > init256 ? init512 : init256) + 32);
    *size = offset;
    if (!memory) return kFrameDecoded;

    std::memset(memory, 0, offset);
    State* s = reinterpret_cast<State*>(memory);
    uint8_t* initBuffer = (init512 > 0 || init256 > 0) ? memory + initOffset : nullptr;
    if (acMdctInit(&s->mdct512, 512, memory + specOffset512, initBuffer) != 0 ||
        acMdctInit(&s->mdct256, 256, memory + specOffset256, initBuffer) != 0)
        return kBadParameter;
    s->mdctWork = (work512 > 0 || work256 > 0) ? memory + workOffset : nullptr;
    InitWindow(s);
    s->bsi.sampleRate = 48000;
    s->dualMonoMode = 0;
    s->outputConfig = 0;
    s->outputLfe = 0;
    s->drcMode = 0;
    s->stereoMode = 3;
    s->concealMode = 0;
    s->drcBoostScale = 1.0f;
    s->drcCutScale = 1.0f;
    s->outputGain = 1.0f;
    StateReset(s);
    return kFrameDecoded;
}

void StateRebase(State* s, ptrdiff_t delta) {
    RebasePointer(s->mdct512, delta);
    RebasePointer(s->mdct256, delta);
    RebasePointer(s->mdctWork, delta);
}

void StateReset(State* s) {
    std::memset(s->coef, 0, sizeof(s->coef));
    std::memset(s->delay, 0, sizeof(s->delay));
    std::memset(s->buf, 0, sizeof(s->buf));
    s->dither = 1;
    s->blocksDecoded = 0;
    s->concealing = 0;
    ChooseOutput(s);
}

int DecodeFrame(State* s, const uint8_t* in, size_t size, int16_t* out, size_t outBytes,
                size_t* consumed) {
    *consumed = 0;
    size_t pos = 0;
    while (pos + 1 < size && !(in[pos] == 0x0B && in[pos + 1] == 0x77)) ++pos;
    if (pos + 1 >= size) {
        *consumed = size >= 2 ? size - 2 : 0;
        return kNoSyncWord;
    }
    *consumed = pos;
    const uint8_t* frame = in + pos;
    const size_t avail = size - pos;
    if (avail < 5) return kNeedMoreData;

    BitReader br;
    br.Set(frame, avail);
    Bsi bsi = s->bsi;
    if (!ParseSyncInfo(br, &bsi)) {
        *consumed = pos + 5;  // syncinfo read: the next search starts behind it
        return kBadParameter;
    }
    const size_t frameBytes = size_t(bsi.frameWords) * 2;
    if (avail < frameBytes) return kNeedMoreData;

    const int n = bsi.frameWords;
    const int f = n / 8 + n / 2;
    const bool crc1 = Crc16(frame + 2, size_t(2 * f - 2)) == 0;
    const bool crc2 = Crc16(frame + 2 * f, size_t(2 * (n - f))) == 0;

    br.Set(frame, frameBytes);
    if (crc1) {
        BitReader probe = br;
        probe.Skip(16 + 16 + 8);  // syncinfo
        Bsi parsed = bsi;
        if (!ParseBsi(probe, &parsed)) {
            // A later bit-stream version under a good CRC: the frame's size is trusted, so it is
            // passed over whole as silence, and no tail from before it follows.
            if (outBytes < size_t(s->outChannels) * kFrameSamples * sizeof(int16_t))
                return kOutputTooSmall;
            std::memset(s->delay, 0, sizeof(s->delay));
            *consumed = pos + frameBytes;
            return kUndecodableFrame;
        }
        br = probe;
        s->bsi = parsed;
        s->haveBsi = 1;
        ChooseOutput(s);
    } else {
        // bsi is not trusted: keep the previous frame's (the geometry of this one stands).
        s->bsi.fscod = bsi.fscod;
        s->bsi.frmsizecod = bsi.frmsizecod;
        s->bsi.frameWords = bsi.frameWords;
        s->bsi.sampleRate = bsi.sampleRate;
        s->bsi.bitrateKbps = bsi.bitrateKbps;
    }
    const size_t needed = size_t(s->outChannels) * kFrameSamples * sizeof(int16_t);
    if (outBytes < needed) return kOutputTooSmall;

    bool good = crc1 && s->haveBsi;
    if (good) StartFrame(s);
    for (int blk = 0; blk < kBlocks; ++blk) {
        int16_t* block = out + size_t(blk) * kBlockSamples * size_t(s->outChannels);
        if (good && (blk < 2 || crc2)) {
            if (ParseAudioBlock(s, br, blk)) {
                Decouple(s);
                Rematrix(s);
                ApplyDynamicRange(s);
                ReconstructBlock(s, block);
                s->concealing = 0;
                ++s->blocksDecoded;
                continue;
            }
        }
        good = false;
        ConcealBlock(s, block);
    }
    *consumed = pos + frameBytes;
    ++s->framesDecoded;
    return kFrameDecoded;
}

}  // namespace ac3
}  // namespace UMC
