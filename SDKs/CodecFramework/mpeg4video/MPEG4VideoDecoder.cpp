#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "SDKs/CodecFramework/vpp/VideoProcessing.h"
#include "primitives/Memory.h"

namespace UMC {

using namespace mpeg4;

MPEG4VideoDecoder::MPEG4VideoDecoder() : m_state(new (std::nothrow) MPEG4DecoderState{}) {}

MPEG4VideoDecoder::~MPEG4VideoDecoder() {
    Close();
}

// ---------------------------------------------------------------------------------------------
// Set-up and teardown

Status MPEG4VideoDecoder::Init(BaseCodecParams* params) {
    auto* vp = DynamicCast<VideoDecoderParams>(params);
    Close();
    if (!m_state) return STATUS_ALLOC_FAILED;
    if (!vp) return STATUS_NULL_PTR;
    if (const Status st = VideoDecoder::Init(params); st != STATUS_OK) return st;

    m_skipRequests = 0;
    m_skipped = 0;
    m_skipAlternate = false;
    m_firstTime = -1.0;
    m_lastOutputTime = 0.0;
    m_frameDuration = vp->info.framerate > 0 ? 1.0 / vp->info.framerate : 0.0;
    m_params = *vp;
    m_params.m_pData = nullptr;
    *m_state = MPEG4DecoderState{};
    m_state->conformanceChecking = 0;
    m_state->vo.verid = 1;
    m_postFilter = Mpeg4PostFilterSettings{};
    m_headersFound = false;
    m_decodedVops = 0;
    m_backwardHoldsFuture = false;
    m_outputFrame = nullptr;

    if (MediaData* initial = vp->m_pData; initial && initial->GetDataSize() > 0) {
        if (initial->GetTime() >= 0) m_firstTime = initial->GetTime();
        // The headers are read through the bounded reader alone: the caller's bytes serve
        // without the padded copy that VOP decoding needs (a caller may hand a whole file).
        const size_t size = initial->GetDataSize();
        m_state->bits.Init(initial->GetDataPointer(), size);
        const Status st = SearchHeaders();
        const size_t used = std::min(m_state->bits.Position(), size);
        m_state->bits.Init(m_input.Data(), 0);  // nothing left pointing at the caller's bytes
        if (st != STATUS_OK) return st;
        initial->MoveDataPointer(ptrdiff_t(used));
    }
    m_PostProcessing = vp->pPostProcessing ? vp->pPostProcessing : m_allocatedPostProcessing;

    if (m_params.info.clip_width <= 0 || m_params.info.clip_height <= 0) {
        if (m_state->vol.width <= 0 || m_state->vol.height <= 0) return STATUS_INIT_FAILED;
        m_params.info.clip_width = m_state->vol.width;
        m_params.info.clip_height = m_state->vol.height;
    }
    // The output is sized from these, whether or not a layer has been seen.
    if (!PictureSizeAllowed(m_params.info.clip_width, m_params.info.clip_height))
        return STATUS_INVALID_PARAMS;
    if (m_params.info.color_format == NONE) m_params.info.color_format = YUV420;
    m_ClipInfo = m_params.info;
    m_initialised = true;
    return STATUS_OK;
}

Status MPEG4VideoDecoder::Close() {
    m_initialised = false;
    if (m_headersFound) FreeBuffers();
    m_headersFound = false;
    VideoDecoder::Close();
    return STATUS_OK;
}

Status MPEG4VideoDecoder::Reset() {
    if (!m_initialised) return STATUS_NOT_INITIALIZED;
    if (!m_headersFound) return STATUS_OK;
    // A new segment is decoded as by a fresh decoder: its own drain at the end (the flag is
    // taken from the parameters again, the last segment's drain cleared it), VOP times counted
    // from zero, and no B-VOP skipped on account of one before the seek.
    m_decodedVops = 0;
    m_backwardHoldsFuture = false;
    m_state->gov.time = 0;
    m_state->dec.timeBase = m_state->dec.referenceTimeBase = 0;
    m_state->dec.framePeriod = 0;
    m_olderReferenceTime = m_newerReferenceTime = 0;
    m_baseVopTime = 0;
    for (Mpeg4FrameMemory& f : m_frames) {
        f.frame.time = 0;
        f.frame.codingType = MPEG4_VOP_I;
    }
    m_outputFrame = nullptr;
    m_waitForI = true;
    m_reorderAtEnd = (m_params.lFlags & FLAG_VDEC_REORDER) != 0;
    m_skipAlternate = false;
    m_firstTime = -1.0;
    m_lastOutputTime = 0.0;
    return STATUS_OK;
}

Status MPEG4VideoDecoder::GetInfo(BaseCodecParams* info) {
    if (!m_initialised) return STATUS_NOT_INITIALIZED;
    if (!info) return STATUS_NULL_PTR;
    if (auto* vp = DynamicCast<VideoDecoderParams>(info)) {
        *vp = m_params;
        vp->info = m_ClipInfo;
        vp->pPostProcessing = m_PostProcessing;
        return STATUS_OK;
    }
    if (!m_headersFound) return STATUS_NOT_INITIALIZED;
    info->profile = m_params.profile;
    info->level = m_params.level;
    return STATUS_OK;
}

Status MPEG4VideoDecoder::ResetSkipCount() {
    if (!m_initialised) return STATUS_NOT_INITIALIZED;
    m_skipRequests = 0;
    m_skipped = 0;
    m_skipAlternate = false;
    return STATUS_OK;
}

Status MPEG4VideoDecoder::SkipVideoFrame(int32_t count) {
    if (!m_initialised) return STATUS_NOT_INITIALIZED;
    if (count < 0)
        m_skipRequests = 0;
    else
        m_skipRequests += count;
    return STATUS_OK;
}

uint32_t MPEG4VideoDecoder::GetNumOfSkippedFrames() {
    return m_skipped;
}

Status MPEG4VideoDecoder::SetDeblocking(uint8_t y, uint8_t u, uint8_t v, int32_t thr1,
                                        int32_t thr2) {
    m_postFilter.deblock[0] = y;
    m_postFilter.deblock[1] = u;
    m_postFilter.deblock[2] = v;
    m_postFilter.thr1 = thr1;
    m_postFilter.thr2 = thr2;
    return STATUS_OK;
}

Status MPEG4VideoDecoder::SetDeringing(uint8_t y, uint8_t u, uint8_t v) {
    m_postFilter.dering[0] = y;
    m_postFilter.dering[1] = u;
    m_postFilter.dering[2] = v;
    return STATUS_OK;
}

// ---------------------------------------------------------------------------------------------
// Headers and frame memory

Status MPEG4VideoDecoder::SearchHeaders() {
    MPEG4DecoderState& s = *m_state;
    m_reorderAtEnd = (m_params.lFlags & FLAG_VDEC_REORDER) != 0;
    switch (m_params.info.stream_subtype) {
        case 1:
            s.compatibilityMode = 2;
            s.compatibilityFlag = 1;
            break;
        case 2:
            s.compatibilityMode = 1;
            s.compatibilityFlag = 0;
            break;
        default:
            s.compatibilityMode = 0;
            s.compatibilityFlag = 0;
    }
    if (const Status st = FindHeaders(s); st != STATUS_OK) return st;
    if (const Status st = AllocateBuffers(); st != STATUS_OK) return st;

    static constexpr int32_t kAspect[6][2] = {{1, 1},   {1, 1},   {12, 11},
                                              {10, 11}, {16, 11}, {40, 33}};
    const int32_t ar = s.vol.aspectRatioInfo;
    const bool table = ar >= 0 && ar <= 5;
    m_params.info.aspect_ratio_width = table ? kAspect[ar][0] : s.vol.parWidth;
    m_params.info.aspect_ratio_height = table ? kAspect[ar][1] : s.vol.parHeight;

    int32_t profile = s.profileAndLevelIndication / 16, level = s.profileAndLevelIndication & 15;
    if (profile == 0 && level == 8) {
        level = 0;
    } else if (profile == 15 && level == 7) {
        profile = 16;
        level = 5;
    } else if (profile == 15 && level >= 8) {
        profile = 16;
        level -= 8;
    }
    m_params.profile = profile;
    m_params.level = level;
    m_headersFound = true;
    return STATUS_OK;
}

Status MPEG4VideoDecoder::AllocateBuffers() {
    MPEG4DecoderState& s = *m_state;
    FreeBuffers();
    const int32_t mbWidth = (s.vol.width + 15) / 16, mbHeight = (s.vol.height + 15) / 16;
    if (mbWidth < 1 || mbHeight < 1 || int64_t(mbWidth) * mbHeight > kMpeg4MaxMacroblocks)
        return STATUS_ALLOC_FAILED;
    MemoryAllocator& allocator = *m_pMemoryAllocator;
    const bool staticSprite = s.vol.spriteEnable == MPEG4_SPRITE_STATIC;
    const bool withBackward = !staticSprite && !s.vol.shortVideoHeader;
    Status st = AllocateFrame(allocator, mbWidth, mbHeight, m_frames[kCurrent]);
    if (st == STATUS_OK && staticSprite)
        st = AllocateFrame(allocator, (s.vol.spriteWidth + 15) / 16, (s.vol.spriteHeight + 15) / 16,
                           m_frames[kSprite]);
    if (st == STATUS_OK && !staticSprite)
        st = AllocateFrame(allocator, mbWidth, mbHeight, m_frames[kForward]);
    if (st == STATUS_OK && withBackward)
        st = AllocateFrame(allocator, mbWidth, mbHeight, m_frames[kBackward]);
    if (st != STATUS_OK) {
        FreeBuffers();
        return st;
    }
    try {
        const int32_t spriteMacroblocks =
            staticSprite ? m_frames[kSprite].frame.mbWidth * m_frames[kSprite].frame.mbHeight : 0;
        m_arrays.Allocate(s, mbWidth, mbHeight, spriteMacroblocks);
    } catch (const std::bad_alloc&) {
        FreeBuffers();
        return STATUS_ALLOC_FAILED;
    }
    Mpeg4VopState& d = s.dec;
    // A static sprite stream keeps its one reference, the sprite, outside the rotation.
    d.current = &m_frames[kCurrent].frame;
    d.forward = staticSprite ? &m_frames[kSprite].frame : &m_frames[kForward].frame;
    d.sprite = staticSprite ? &m_frames[kSprite].frame : nullptr;
    d.backward = withBackward ? &m_frames[kBackward].frame : nullptr;
    if (BuildQuantSpecs(s) != PARSE_OK) return STATUS_INVALID_STREAM;
    UnlockBuffers();
    return STATUS_OK;
}

void MPEG4VideoDecoder::FreeBuffers() {
    if (m_pMemoryAllocator)
        for (Mpeg4FrameMemory& f : m_frames) FreeFrame(*m_pMemoryAllocator, f);
    if (m_state) {
        m_arrays.Free(*m_state);
        m_state->dec.current = m_state->dec.forward = m_state->dec.backward = nullptr;
        m_state->dec.sprite = nullptr;
    }
    m_outputFrame = nullptr;
}

Status MPEG4VideoDecoder::LockBuffers() {
    for (Mpeg4FrameMemory& f : m_frames)
        if (const Status st = LockFrame(*m_pMemoryAllocator, f); st != STATUS_OK) {
            UnlockBuffers();
            return st;
        }
    return STATUS_OK;
}

void MPEG4VideoDecoder::UnlockBuffers() {
    for (Mpeg4FrameMemory& f : m_frames) UnlockFrame(*m_pMemoryAllocator, f);
}

// ---------------------------------------------------------------------------------------------
// Decoding

Status MPEG4VideoDecoder::GetFrame(MediaData* input, MediaData* output) {
    if (!output) return STATUS_NULL_PTR;
    output->SetDamaged(1);
    if (!m_initialised) return STATUS_NOT_INITIALIZED;
    try {
        return GetFrameBody(input, output);
    } catch (...) {
        UnlockBuffers();
        return STATUS_INVALID_STREAM;
    }
}

Status MPEG4VideoDecoder::GetFrameBody(MediaData* input, MediaData* output) {
    MPEG4DecoderState& s = *m_state;
    if (input) {
        m_input.Assign(input->GetDataPointer(), input->GetDataSize());
        s.bits.Init(m_input.Data(), m_input.Size());
    }
    if (!m_headersFound) {
        if (!input) return STATUS_NOT_ENOUGH_DATA;
        const Status st = SearchHeaders();
        if (st != STATUS_OK)
            return st == STATUS_INVALID_STREAM || st == STATUS_SYNC_NOT_FOUND
                       ? STATUS_NOT_ENOUGH_DATA
                       : st;
    }
    if (const Status st = LockBuffers(); st != STATUS_OK) return st;

    Status status = STATUS_OK;
    MPEG4FrameBuffer* frame = nullptr;
    double time = 0.0;
    if (!input) {
        // The drain: the newest reference, once per Init. Without a backward reference every
        // picture has been shown already.
        if (!m_reorderAtEnd || m_decodedVops == 0 || !s.dec.backward) {
            UnlockBuffers();
            return STATUS_NOT_ENOUGH_DATA;
        }
        m_reorderAtEnd = false;
        frame = m_backwardHoldsFuture ? s.dec.backward : s.dec.current;
        time = StampOutput(nullptr, *frame);
    } else {
        status = DecodeNextVop(&frame);
        if (frame) time = StampOutput(input, *frame);
    }
    if (frame && (status == STATUS_OK || status == kMpeg4FrameDamaged)) {
        const Status st = Output(*frame, time, output, status == STATUS_OK ? 0 : 1);
        if (st != STATUS_OK) status = st;
    }

    if (input) {
        const size_t size = input->GetDataSize();
        const size_t left = s.bits.PastEnd() ? 0 : s.bits.BytesLeft();
        input->MoveDataPointer(ptrdiff_t(size - std::min(left, size)));
        input->SetTime(-1.0);
    }
    m_ClipInfo.interlace_type =
        !s.vol.interlaced
            ? PROGRESSIVE
            : (s.vop.topFieldFirst ? INTERLEAVED_TOP_FIELD_FIRST : INTERLEAVED_BOTTOM_FIELD_FIRST);
    m_params.info.interlace_type = m_ClipInfo.interlace_type;
    UnlockBuffers();
    return status;
}

// Finds, parses and decodes the next VOP; *output is the frame to show, or null.
Status MPEG4VideoDecoder::DecodeNextVop(MPEG4FrameBuffer** output) {
    MPEG4DecoderState& s = *m_state;
    *output = nullptr;
    const Mpeg4Vol previous = s.vol;
    bool volParsed = false;
    const Status found = FindNextVop(s, &volParsed);
    // A VOL is taken even when no VOP follows it in this input: the frames must match it before
    // anything else is decoded.
    if (volParsed)
        if (const Status st = AdoptLayer(previous); st != STATUS_OK) return st;
    if (found != STATUS_OK) return found;
    if (ParseVopHeader(s) != PARSE_OK) return STATUS_INVALID_STREAM;
    const int32_t type = s.vop.codingType;

    if (m_waitForI && type != MPEG4_VOP_I) return STATUS_NOT_ENOUGH_DATA;
    if (type == MPEG4_VOP_B) {
        if (m_skipRequests > 0 && !m_skipAlternate) {
            --m_skipRequests;
            ++m_skipped;
            m_skipAlternate = true;
            s.bits.ptr = const_cast<uint8_t*>(s.bits.End());
            s.bits.bitOffset = 0;
            return STATUS_NOT_ENOUGH_DATA;
        }
        m_skipAlternate = false;
    }

    // A B-VOP before two references has nothing to predict from. It is dropped before the
    // dispatcher could exchange frames for it: that would leave the next reference decoded over
    // the one before it.
    if (type == MPEG4_VOP_B && m_decodedVops < 2) return STATUS_NOT_ENOUGH_DATA;

    const int64_t time = VopTime(s);
    const bool notCodedRepeat = !s.vop.coded && ((s.dec.current && s.dec.current->time == time) ||
                                                 (s.dec.forward && s.dec.forward->time == time) ||
                                                 (s.dec.backward && s.dec.backward->time == time));
    const bool sprite = SpriteVop();
    MPEG4FrameBuffer* chosen = nullptr;
    const int32_t result = DispatchVop(time, &chosen);
    Status status = result != 0 ? kMpeg4FrameDamaged : STATUS_OK;
    if (notCodedRepeat) return STATUS_NOT_ENOUGH_DATA;

    ++m_decodedVops;
    if (m_waitForI && type == MPEG4_VOP_I) {
        m_baseVopTime = time;
        m_outputFrame = nullptr;
        m_waitForI = false;
    }
    // The sprite is not shown itself, only through the S-VOPs warping it.
    if (sprite) return STATUS_NOT_ENOUGH_DATA;
    if (!m_reorderAtEnd) {
        *output = s.dec.current;
    } else {
        *output = chosen;
        if (!chosen) return STATUS_NOT_ENOUGH_DATA;
    }
    return status;
}

// After a VOL was parsed: new frames when the layer changed what they depend on, and the
// dequantisation matrices and the arrays of the tools it enables.
Status MPEG4VideoDecoder::AdoptLayer(const Mpeg4Vol& previous) {
    MPEG4DecoderState& s = *m_state;
    const bool sizeChanged = previous.width != s.vol.width || previous.height != s.vol.height;
    if (sizeChanged || previous.interlaced != s.vol.interlaced ||
        previous.dataPartitioned != s.vol.dataPartitioned ||
        previous.spriteEnable != s.vol.spriteEnable) {
        if (s.conformanceChecking) return STATUS_INVALID_STREAM;
        if (sizeChanged) {
            m_params.info.clip_width = m_ClipInfo.clip_width = s.vol.width;
            m_params.info.clip_height = m_ClipInfo.clip_height = s.vol.height;
        }
        if (const Status st = AllocateBuffers(); st != STATUS_OK) return st;
        if (const Status st = LockBuffers(); st != STATUS_OK) return st;
        m_decodedVops = 0;
        m_backwardHoldsFuture = false;
    }
    if (BuildQuantSpecs(s) != PARSE_OK) return STATUS_INVALID_STREAM;
    try {
        m_arrays.AllocateObmc(s);
    } catch (const std::bad_alloc&) {
        return STATUS_ALLOC_FAILED;
    }
    return STATUS_OK;
}

// The VOP dispatcher: time, reference rotation and decoding of the VOP whose header was parsed.
int32_t MPEG4VideoDecoder::DispatchVop(int64_t t, MPEG4FrameBuffer** chosen) {
    MPEG4DecoderState& s = *m_state;
    Mpeg4VopState& d = s.dec;
    const int32_t type = s.vop.codingType;
    *chosen = nullptr;

    if (!s.vop.coded &&
        ((d.current && d.current->time == t) || (d.forward && d.forward->time == t) ||
         (d.backward && d.backward->time == t))) {
        d.current->codingType = type;
        d.current->time = t;
        return 0;
    }

    if (SpriteVop()) {
        const int32_t result = DecodeSpriteIVop(s);
        ++m_vopCounts[type & 3];
        d.sprite->codingType = type;
        d.sprite->time = t;
        return result == 0 ? 0 : kMpeg4VopConcealed;
    }
    const bool staticSprite = s.vol.spriteEnable == MPEG4_SPRITE_STATIC;
    const bool reference =
        type == MPEG4_VOP_I || type == MPEG4_VOP_P || (type == MPEG4_VOP_S && !staticSprite);
    if (reference && !(type == MPEG4_VOP_I && staticSprite)) {
        if (!d.backward) {
            std::swap(d.current, d.forward);
            *chosen = d.current;
        } else if (m_decodedVops > 0) {
            if (m_backwardHoldsFuture) {
                std::swap(d.backward, d.forward);
                m_backwardHoldsFuture = false;
            } else {
                std::swap(d.current, d.forward);
            }
            *chosen = d.forward;
        }
    } else if (type == MPEG4_VOP_B) {
        if (d.backward && !m_backwardHoldsFuture) {
            std::swap(d.current, d.backward);
            m_backwardHoldsFuture = true;
        }
        *chosen = m_decodedVops >= 2 ? d.current : nullptr;
    } else {
        *chosen = d.current;  // static sprite VOPs
    }

    int32_t result = 0;
    if (!s.vop.coded) {
        // The forward reference shown again.
        if (d.forward && d.forward != d.current && d.forward->mbWidth == d.current->mbWidth &&
            d.forward->mbHeight == d.current->mbHeight) {
            const size_t bytes = size_t(d.current->yPitch) * size_t((d.current->mbHeight + 2) * 16);
            spCopy8u(d.forward->yBase, d.current->yBase, int(bytes * 3 / 2));
        }
        for (int32_t i = 0; i < d.mbCount; ++i) d.info[i].notCoded = 1;
    } else {
        switch (type) {
            case MPEG4_VOP_I:
                result = DecodeIVop(s);
                break;
            case MPEG4_VOP_P:
                result = DecodePVop(s);
                break;
            case MPEG4_VOP_B: {
                // Without both references there is nothing to predict from.
                if (!d.backward || m_decodedVops < 2) break;
                int64_t trb = t - m_olderReferenceTime;
                int64_t trd = m_newerReferenceTime - m_olderReferenceTime;
                if (trb <= 0) trb = 1;
                if (trd <= 0) trd = 2;
                if (trd <= trb) {
                    trb = 1;
                    trd = 2;
                }
                d.trb = int32_t(std::min<int64_t>(trb, INT32_MAX));
                d.trd = int32_t(std::min<int64_t>(trd, INT32_MAX));
                result = DecodeBVop(s);
                break;
            }
            default:
                result = DecodeSVop(s);
                break;
        }
        if (result != 0 && result != kMpeg4VopConcealed) result = kMpeg4VopConcealed;
        if (reference) {
            PadReference(s, *d.current);
            m_olderReferenceTime = m_newerReferenceTime;
            m_newerReferenceTime = t;
        }
    }
    ++m_vopCounts[type & 3];
    d.current->codingType = type;
    d.current->time = t;
    return result;
}

// The first coded I-VOP after a reset of a static sprite layer carries the sprite.
bool MPEG4VideoDecoder::SpriteVop() const {
    const MPEG4DecoderState& s = *m_state;
    return s.vol.spriteEnable == MPEG4_SPRITE_STATIC && s.vop.codingType == MPEG4_VOP_I &&
           s.vop.coded && m_decodedVops == 0 && s.dec.sprite;
}

// A post-filter frame of the source's size, locked.
Status MPEG4VideoDecoder::PreparePostFilterFrame(const MPEG4FrameBuffer& source,
                                                 Mpeg4FrameMemory& filtered) {
    if (filtered.mid == MID_INVALID || filtered.frame.mbWidth != source.mbWidth ||
        filtered.frame.mbHeight != source.mbHeight)
        return AllocateFrame(*m_pMemoryAllocator, source.mbWidth, source.mbHeight, filtered);
    return LockFrame(*m_pMemoryAllocator, filtered);
}

double MPEG4VideoDecoder::StampOutput(MediaData* input, const MPEG4FrameBuffer& frame) {
    const double inTime = input ? input->GetTime() : -1.0;
    if (inTime != -1.0 && m_firstTime == -1.0) m_firstTime = inTime;
    if (m_frameDuration > 0 || m_state->compatibilityMode == 1) {
        const double before = m_lastOutputTime;
        if (input) m_lastOutputTime = inTime != -1.0 ? inTime : m_lastOutputTime + m_frameDuration;
        return m_reorderAtEnd ? before : m_lastOutputTime;
    }
    if (inTime != -1.0) return inTime;
    const int32_t resolution = m_state->vol.timeIncrementResolution;
    double t = resolution > 0 ? double(frame.time - m_baseVopTime) / resolution : 0.0;
    if (m_firstTime != -1.0) t += m_firstTime;
    return t;
}

Status MPEG4VideoDecoder::Output(MPEG4FrameBuffer& source, double time, MediaData* output,
                                 int32_t damaged) {
    MPEG4DecoderState& s = *m_state;
    MPEG4FrameBuffer* frame = &source;
    const int32_t frameType =
        (s.vol.spriteEnable == MPEG4_SPRITE_STATIC || source.codingType == MPEG4_VOP_I) ? I_PICTURE
        : source.codingType == MPEG4_VOP_B                                              ? B_PICTURE
                                                                                        : P_PICTURE;
    const int32_t quant = s.vol.shortVideoHeader ? s.sh.quant : s.vop.quant;
    if (m_postFilter.AnyDeblocking()) {
        Mpeg4FrameMemory& filtered = m_frames[kFilter0];
        if (const Status st = PreparePostFilterFrame(source, filtered); st != STATUS_OK) return st;
        DeblockFrame(*frame, filtered.frame, s.vol.width, s.vol.height, m_postFilter, quant);
        frame = &filtered.frame;
    }
    if (m_postFilter.AnyDeringing()) {
        Mpeg4FrameMemory& filtered = m_frames[kFilter1];
        if (const Status st = PreparePostFilterFrame(source, filtered); st != STATUS_OK) {
            UnlockFrame(*m_pMemoryAllocator, m_frames[kFilter0]);
            return st;
        }
        // The filter looks one sample past the picture's edge.
        PadReference(s, *frame);
        DeringFrame(*frame, filtered.frame, s.vol.width, s.vol.height, m_postFilter, quant);
        frame = &filtered.frame;
    }

    VideoData& pic = m_LastDecodedFrame;
    const int32_t width = s.vol.width, height = s.vol.height;
    if (pic.GetColorFormat() != YUV420 || pic.GetWidth() != width || pic.GetHeight() != height) {
        if (const Status st = pic.Init(width, height, YUV420); st != STATUS_OK) return st;
    }
    pic.SetFrameType(frameType);
    pic.SetTime(time, 0);
    pic.SetDamaged(damaged);
    uint8_t* planes[3] = {frame->y, frame->u, frame->v};
    for (int p = 0; p < 3; ++p) {
        pic.SetPlanePointer(planes[p], p);
        pic.SetPlanePitch(size_t(p ? frame->uvPitch : frame->yPitch), p);
    }
    const int32_t interlace = m_params.info.interlace_type;
    pic.SetPictureStructure(interlace == INTERLEAVED_TOP_FIELD_FIRST      ? PS_TOP_FIELD_FIRST
                            : interlace == INTERLEAVED_BOTTOM_FIELD_FIRST ? PS_BOTTOM_FIELD_FIRST
                                                                          : PS_FRAME);
    pic.SetAspectRatio(std::max(m_params.info.aspect_ratio_width, 1),
                       std::max(m_params.info.aspect_ratio_height, 1));
    if (!m_PostProcessing) {
        auto* vpp = new (std::nothrow) VideoProcessing;
        if (!vpp) return STATUS_ALLOC_FAILED;
        SetOwnPostProcessing(vpp);
    }
    Status st = m_PostProcessing->GetFrame(&pic, output);
    UnlockFrame(*m_pMemoryAllocator, m_frames[kFilter0]);
    UnlockFrame(*m_pMemoryAllocator, m_frames[kFilter1]);
    if (st != STATUS_OK) return st;
    output->SetDamaged(0);
    return STATUS_OK;
}

}  // namespace UMC
