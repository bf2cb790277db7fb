// Stream headers: sequence header and extensions, group of pictures, picture header and coding
// extension, quantiser matrices and user data.
#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/core/AspectRatio.h"
#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"

namespace UMC {

namespace {

constexpr int32_t kBitRateOverflow = 10737418;  // bit_rate units of 400 that overflow 32 bits

double FramePeriodFromCode(int32_t code) {
    switch (code) {
        case 1:
            return 1001.0 / 24000.0;
        case 2:
            return 1.0 / 24.0;
        case 3:
            return 1.0 / 25.0;
        case 4:
            return 1001.0 / 30000.0;
        case 5:
            return 1.0 / 30.0;
        case 6:
            return 1.0 / 50.0;
        case 7:
            return 1001.0 / 60000.0;
        case 8:
            return 1.0 / 60.0;
        default:
            return 1.0 / 30.0;
    }
}

const int32_t kMpeg1Aspect[16][2] = {{1, 1},   {1, 1},   {33, 49},   {45, 64}, {16, 21}, {29, 36},
                                     {27, 32}, {42, 47}, {15, 16},   {53, 54}, {40, 39}, {77, 72},
                                     {9, 8},   {22, 19}, {161, 134}, {1, 1}};

}  // namespace

void MPEG2VideoDecoderBase::SetDefaultMatrices() {
    std::memcpy(m_matrices[0], kMpeg2DefaultIntraMatrix, 64);
    std::memset(m_matrices[1], 16, 64);
    std::memcpy(m_matrices[2], kMpeg2DefaultIntraMatrix, 64);
    std::memset(m_matrices[3], 16, 64);
}

void MPEG2VideoDecoderBase::LoadMatrix(int which, const uint8_t* zigzagOrder) {
    for (int k = 0; k < 64; ++k) m_matrices[which][kMpeg2ZigzagScan[k]] = zigzagOrder[k];
}

// Copies the matrices and the scan order into every thread context.
void MPEG2VideoDecoderBase::RebuildContexts() {
    if (!m_contexts) return;
    for (int i = 0; i < m_threads; ++i) {
        std::memcpy(m_contexts[i].matrix, m_matrices, sizeof(m_matrices));
        m_contexts[i].scan = m_alternateScan ? kMpeg2AlternateScan : kMpeg2ZigzagScan;
    }
}

Status MPEG2VideoDecoderBase::ParseHeader(int32_t code, Mpeg2BitReader& bs) {
    if (code < 0x100 || code > 0x1B8) return STATUS_INVALID_STREAM;
    switch (code) {
        case MPEG2_PICTURE_START:
            return ParsePictureHeader(bs);
        case MPEG2_USER_DATA:
            return ParseUserData(bs);
        case MPEG2_SEQUENCE_HEADER:
            return ParseSequenceHeader(bs);
        case MPEG2_EXTENSION:
            return ParseExtension(bs);
        case MPEG2_SEQUENCE_END:
            return STATUS_OK;
        case MPEG2_GROUP_START:
            return ParseGopHeader(bs);
        default:
            return STATUS_OK;
    }
}

Status MPEG2VideoDecoderBase::ParseSequenceHeader(Mpeg2BitReader& bs) {
    if (bs.BytesLeft() < 8) {
        bs.ptr -= 4;
        bs.bitOffset = 0;
        return STATUS_NOT_ENOUGH_DATA;
    }
    const int32_t width = int32_t(bs.Get(12));
    const int32_t height = int32_t(bs.Get(12));
    const int32_t aspectCode = int32_t(bs.Get(4));
    const int32_t frameRateCode = int32_t(bs.Get(4));
    const int32_t bitRateValue = int32_t(bs.Get(18));
    bs.Skip(1);   // marker
    bs.Skip(10);  // vbv_buffer_size_value
    const int32_t constrained = int32_t(bs.Get1());
    uint8_t intra[64], nonIntra[64];
    const bool loadIntra = bs.Get1();
    if (loadIntra)
        for (uint8_t& v : intra) v = uint8_t(bs.Get(8));
    const bool loadNonIntra = bs.Get1();
    if (loadNonIntra)
        for (uint8_t& v : nonIntra) v = uint8_t(bs.Get(8));
    if (bs.BitsLeft() < 0) return STATUS_INVALID_STREAM;

    int32_t type = 17;
    if (!constrained) {
        Mpeg2BitReader look = bs;
        if (look.FindStartCode() == 0xB5 && look.BytesLeft() > 4 && (look.ptr[4] >> 4) == 1)
            type = 18;
    }
    if (m_streamType == 0)
        m_streamType = type;
    else if (m_streamType != type)
        return STATUS_INVALID_STREAM;  // nothing overwritten: decoding goes on with the old one

    // Until this header is accepted whole, no picture is decoded or output: a half-read header
    // could leave sizes that differ from the frame memory.
    m_sequenceValid = false;
    m_aspectCode = aspectCode;
    m_frameRateCode = frameRateCode;
    m_width = width;
    m_height = height;
    m_bitRate = bitRateValue * 400;
    m_displayWidth = m_displayHeight = 0;
    m_chromaFormat = 1;
    m_progressiveSequence = 1;
    m_frameRateExtN = m_frameRateExtD = 0;
    m_sequenceExtMarker = 0;
    m_scalableMode = -1;

    // Matrices: defaults, then what the header carries; quantiser matrix extensions follow.
    SetDefaultMatrices();
    m_sequenceSeen = true;
    if (loadIntra) {
        LoadMatrix(0, intra);
        LoadMatrix(2, intra);
    }
    if (loadNonIntra) {
        LoadMatrix(1, nonIntra);
        LoadMatrix(3, nonIntra);
    }
    RebuildContexts();

    m_inSequenceHeader = true;
    Status st = ParseExtensions(bs);
    m_inSequenceHeader = false;
    if (st != STATUS_OK) return st;

    if (m_streamType == 17) {
        m_progressiveSequence = 1;
        m_chromaFormat = 1;
    }
    if (m_chromaFormat != 2) m_chromaFormat = 1;
    if (m_width <= 0 || m_width > 65535 || m_height <= 0 || m_height > 65535)
        return STATUS_INVALID_PARAMS;
    if (!PictureSizeAllowed(m_width, m_height)) return STATUS_INVALID_PARAMS;

    m_mbWidth = (m_width + 15) / 16;
    m_mbHeight = (m_height + 15) / 16;
    if (!m_progressiveSequence) m_mbHeight = (m_mbHeight + 1) & ~1;
    m_mbCount = m_mbWidth * m_mbHeight;
    if (AllocateFrames() != STATUS_OK) return STATUS_ALLOC_FAILED;
    UpdateSequenceInfo();
    m_sequenceValid = true;
    return STATUS_OK;
}

void MPEG2VideoDecoderBase::UpdateSequenceInfo() {
    double period = FramePeriodFromCode(m_frameRateCode);
    int32_t sarW = 1, sarH = 1;
    if (m_streamType == 18) {
        period = period * double(m_frameRateExtD + 1) / double(m_frameRateExtN + 1);
        int32_t a = 1, b = 1;
        switch (m_aspectCode) {
            case 2:
                a = 4;
                b = 3;
                break;
            case 3:
                a = 16;
                b = 9;
                break;
            case 4:
                a = 221;
                b = 100;
                break;
            default:
                break;
        }
        if (a != 1 || b != 1) {
            int32_t w = m_displayWidth, h = m_displayHeight;
            if (w == 0 || h == 0) {
                w = m_width;
                h = m_height;
            }
            CalculateSampleAspectRatio(w, h, a, b, &sarW, &sarH);
        }
    } else {
        sarW = kMpeg1Aspect[m_aspectCode & 15][0];
        sarH = kMpeg1Aspect[m_aspectCode & 15][1];
    }
    m_framePeriod = period;
    m_ClipInfo.clip_width = m_width;
    m_ClipInfo.clip_height = m_height;
    m_ClipInfo.disp_clip_width = m_displayWidth;
    m_ClipInfo.disp_clip_height = m_displayHeight;
    m_ClipInfo.color_format = m_chromaFormat == 2 ? YUV422 : YUV420;
    m_ClipInfo.bitrate = m_bitRate;
    m_ClipInfo.aspect_ratio_width = sarW;
    m_ClipInfo.aspect_ratio_height = sarH;
    m_ClipInfo.framerate = period > 0 ? 1.0 / period : 30.0;
    if (m_ClipInfo.framerate <= 0) m_ClipInfo.framerate = 30.0;
    m_ClipInfo.stream_type = m_streamType;
}

// Every extension and user-data unit up to the next other start code.
Status MPEG2VideoDecoderBase::ParseExtensions(Mpeg2BitReader& bs) {
    for (;;) {
        int code = bs.FindStartCode();
        if (code == 0xB5) {
            bs.Skip(32);
            Status st = ParseExtension(bs);
            if (st != STATUS_OK) return st;
        } else if (code == 0xB2) {
            bs.Skip(32);
            ParseUserData(bs);
        } else {
            return STATUS_OK;
        }
    }
}

Status MPEG2VideoDecoderBase::ParseExtension(Mpeg2BitReader& bs) {
    const int id = int(bs.Get(4));
    switch (id) {
        case 1:  // only among a sequence header's extensions; elsewhere it could resize frames
            return m_inSequenceHeader ? ParseSequenceExtension(bs) : STATUS_OK;
        case 2: {
            bs.Skip(3);  // video_format
            if (bs.Get1()) bs.Skip(24);
            m_displayWidth = int32_t(bs.Get(14));
            bs.Skip(1);
            m_displayHeight = int32_t(bs.Get(14));
            if (m_sequenceSeen) UpdateSequenceInfo();
            return STATUS_OK;
        }
        case 3:
            return ParseQuantMatrixExtension(bs);
        case 5:
            m_sequenceExtMarker = 5;
            m_scalableMode = int32_t(bs.Get(2));
            return STATUS_OK;
        case 8:
            return ParsePictureCodingExtension(bs);
        default:
            return STATUS_OK;  // 4, 7, 9, 10 and unknown: skipped up to the next start code
    }
}

Status MPEG2VideoDecoderBase::ParseSequenceExtension(Mpeg2BitReader& bs) {
    const int32_t pl = int32_t(bs.Get(8));
    m_profile = (pl >> 4) & 7;
    m_level = pl & 15;
    m_progressiveSequence = int32_t(bs.Get1());
    m_chromaFormat = int32_t(bs.Get(2));
    m_width = (m_width & 0xFFF) | (int32_t(bs.Get(2)) << 12);
    m_height = (m_height & 0xFFF) | (int32_t(bs.Get(2)) << 12);
    const int32_t ext = int32_t(bs.Get(12));
    if (ext) {
        const int64_t value = int64_t((m_bitRate / 400) & 0x3FFFF) | (int64_t(ext) << 18);
        m_bitRate = value >= kBitRateOverflow ? -1 : int32_t(value * 400);
    } else if (m_bitRate / 400 >= kBitRateOverflow) {
        m_bitRate = -1;
    }
    bs.Skip(1);  // marker
    bs.Skip(8);  // vbv_buffer_size_extension
    bs.Skip(1);  // low_delay
    m_frameRateExtN = int32_t(bs.Get(2));
    m_frameRateExtD = int32_t(bs.Get(5));
    m_sequenceExtMarker = 1;
    return STATUS_OK;
}

// A luma matrix loaded here also becomes its chroma matrix (4:2:0 has no other); a chroma matrix
// left unloaded in 4:2:2 keeps what an earlier extension gave it.
Status MPEG2VideoDecoderBase::ParseQuantMatrixExtension(Mpeg2BitReader& bs) {
    uint8_t m[64];
    for (int which = 0; which < 4; ++which) {
        if (!bs.Get1()) continue;
        for (uint8_t& v : m) v = uint8_t(bs.Get(8));
        if (which >= 2 && m_chromaFormat == 1) continue;
        LoadMatrix(which, m);
        if (which < 2) LoadMatrix(which + 2, m);
    }
    if (bs.BitsLeft() < 0) return STATUS_INVALID_STREAM;
    RebuildContexts();
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::ParsePictureCodingExtension(Mpeg2BitReader& bs) {
    for (int s = 0; s < 2; ++s)
        for (int t = 0; t < 2; ++t) m_fcode[s][t] = int32_t(bs.Get(4));
    m_intraDcPrecision = int32_t(bs.Get(2));
    m_pictureStructure = int32_t(bs.Get(2));
    m_topFieldFirst = int32_t(bs.Get1());
    m_framePredFrameDct = int32_t(bs.Get1());
    m_concealmentVectors = int32_t(bs.Get1());
    m_qScaleType = int32_t(bs.Get1());
    m_intraVlcFormat = int32_t(bs.Get1());
    m_alternateScan = int32_t(bs.Get1());
    m_repeatFirstField = int32_t(bs.Get1());
    bs.Skip(1);  // chroma_420_type
    m_progressiveFrame = int32_t(bs.Get1());
    if (bs.Get1()) bs.Skip(20);  // composite display information
    if (m_pictureStructure == 0) return STATUS_INVALID_STREAM;
    for (int s = 0; s < 2; ++s)
        for (int t = 0; t < 2; ++t) m_rsize[s][t] = std::clamp(m_fcode[s][t] - 1, 0, 14);
    m_dcReset = 128 << m_intraDcPrecision;
    m_dcShift = 3 - m_intraDcPrecision;
    if (m_pictureStructure == 3) m_fieldFlag = 0;
    RebuildContexts();
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::ParseGopHeader(Mpeg2BitReader& bs) {
    bs.Skip(1);  // drop_frame_flag
    const int32_t hours = int32_t(bs.Get(5));
    const int32_t minutes = int32_t(bs.Get(6));
    bs.Skip(1);
    const int32_t seconds = int32_t(bs.Get(6));
    m_timeCodePictures = int32_t(bs.Get(6));
    m_closedGop = bs.Get1() ? 2 : 0;
    m_brokenLink = int32_t(bs.Get1());
    m_timeCode = hours * 3600.0 + minutes * 60.0 + seconds;
    m_pictureCounter = -1;
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::ParsePictureHeader(Mpeg2BitReader& bs) {
    m_pictureSkipped = false;
    if (bs.BytesLeft() < 4) return STATUS_NOT_ENOUGH_DATA;
    m_temporalReference = int32_t(bs.Get(10));
    const int32_t type = int32_t(bs.Get(3));
    if (type == 0 || type > 4) return STATUS_INVALID_STREAM;
    m_dPicture = type == 4;
    m_codingType = type == 4 ? 1 : type;
    bs.Skip(16);  // vbv_delay
    m_fullPel[0] = m_fullPel[1] = 0;
    if (type == 2 || type == 3) {
        m_fullPel[0] = int32_t(bs.Get1());
        const int32_t f = int32_t(bs.Get(3));
        if (f == 0) return STATUS_INVALID_STREAM;
        m_fcode[0][0] = m_fcode[0][1] = f;
    }
    if (type == 3) {
        m_fullPel[1] = int32_t(bs.Get1());
        const int32_t f = int32_t(bs.Get(3));
        if (f == 0) return STATUS_INVALID_STREAM;
        m_fcode[1][0] = m_fcode[1][1] = f;
    }
    while (bs.Get1()) {
        bs.Skip(8);
        if (bs.BitsLeft() < 0) return STATUS_INVALID_STREAM;
    }
    for (int s = 0; s < 2; ++s)
        for (int t = 0; t < 2; ++t) m_rsize[s][t] = std::clamp(m_fcode[s][t] - 1, 0, 14);
    // MPEG-1 defaults; a picture coding extension overrides them.
    m_pictureStructure = 3;
    m_framePredFrameDct = 1;
    m_progressiveFrame = 1;
    m_intraVlcFormat = 0;
    m_intraDcPrecision = 0;
    m_dcReset = 128;
    m_dcShift = 3;
    m_alternateScan = 0;
    m_concealmentVectors = 0;
    m_qScaleType = 0;
    m_topFieldFirst = 0;
    m_repeatFirstField = 0;

    Mpeg2BitReader look = bs;
    const int next = look.FindStartCode();
    const bool codingExt = next == 0xB5 && look.BytesLeft() > 4 && (look.ptr[4] >> 4) == 8;
    if ((m_streamType == MPEG2_VIDEO) != codingExt) return STATUS_INVALID_STREAM;
    if (!codingExt) RebuildContexts();
    Status st = ParseExtensions(bs);
    if (st != STATUS_OK) return st;
    m_mbRows = m_pictureStructure == 3 ? m_mbHeight : m_mbHeight / 2;

    // A second field pairs with the first only when it is the other field of a like picture.
    if (m_fieldFlag == 1) {
        const bool pairs =
            m_pictureStructure != 3 && m_pictureStructure != m_firstFieldStructure &&
            (m_codingType == m_firstFieldType || m_firstFieldType == 1 || m_codingType == 2);
        if (!pairs) m_fieldFlag = 0;
    }
    if (m_dropSecondField) {
        m_dropSecondField = false;
        if (m_fieldFlag == 1) {
            m_fieldFlag = 0;
            m_pictureSkipped = true;
            return STATUS_NOT_ENOUGH_DATA;
        }
    }
    const bool frameOrFirst = m_pictureStructure == 3 || m_fieldFlag == 0;
    if (frameOrFirst && m_codingType == 1 && m_playbackRate < 0 && m_playbackRate > -4) Reset();
    if (!m_firstI) {
        if (m_codingType != 1) {
            m_pictureSkipped = true;
            return STATUS_NOT_ENOUGH_DATA;
        }
        m_firstI = true;
    }
    return STATUS_OK;
}

void MPEG2VideoDecoderBase::ChooseSlot() {
    if (m_codingType == 3) {
        m_curSlot = 2;
        m_fwdRef = m_prevRef;
        m_bwdRef = m_newestRef;
        m_outSlot = 2;
        return;
    }
    m_prevRef = m_newestRef;
    m_newestRef = m_newestRef == 0 ? 1 : 0;
    m_curSlot = m_newestRef;
    m_fwdRef = m_prevRef;
    m_bwdRef = m_newestRef;
    if (m_flags & FLAG_VDEC_REORDER) {
        m_outSlot = m_waiting > 0 ? m_prevRef : -1;
        m_waiting = 1;
    } else {
        m_outSlot = m_curSlot;
    }
}

Status MPEG2VideoDecoderBase::ParseUserData(Mpeg2BitReader& bs) {
    bs.AlignByte();
    const uint8_t* payload = std::min(bs.ptr, bs.end);
    Mpeg2BitReader look = bs;
    look.FindStartCode();
    const uint8_t* payloadEnd = look.ptr;
    bs.ptr = payloadEnd;
    bs.bitOffset = 0;
    if (!m_userDataBuffer) return STATUS_OK;
    MediaData block;
    if (m_userDataBuffer->LockInputBuffer(&block) != STATUS_OK) return STATUS_OK;
    const size_t room = block.GetBufferSize();
    if (room < 4) {
        m_userDataBuffer->UnLockInputBuffer(&block);
        return STATUS_OK;
    }
    static const uint8_t kPrefix[4] = {0, 0, 1, 0xB2};
    uint8_t* out = block.GetDataPointer();
    std::memcpy(out, kPrefix, 4);
    const size_t n = std::min(size_t(payloadEnd - payload), room - 4);
    if (n) std::memcpy(out + 4, payload, n);
    block.SetDataSize(4 + n);
    block.SetTime(m_inputTime, -1.0);
    m_userDataBuffer->UnLockInputBuffer(&block);
    return STATUS_OK;
}

}  // namespace UMC
