// The decoder's side of the stream headers: each header is read with the extensions after it into
// local values, which replace the decoder's only when all of them were read; then the sequence
// information, frame memory and thread contexts follow. User data goes to its buffer.
#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/core/AspectRatio.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"

namespace UMC {

namespace {

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

// Reads an extension into a value and applies it to the target; without a target the extension
// is skipped.
template <class Extension, class Target>
Status ReadInto(Mpeg2BitReader& bs, Target* target, Status (*read)(Mpeg2BitReader&, Extension&)) {
    if (!target) return STATUS_OK;
    Extension extension;
    const Status st = read(bs, extension);
    if (st == STATUS_OK) target->Apply(extension);
    return st;
}

}  // namespace

// Copies the matrices and the scan order into every thread context.
void MPEG2VideoDecoderBase::RebuildContexts() {
    if (!m_contexts) return;
    for (int i = 0; i < m_threads; ++i) {
        std::memcpy(m_contexts[i].matrix, m_matrices.m, sizeof(m_matrices.m));
        m_contexts[i].scan =
            m_picture.coding.alternateScan ? kMpeg2AlternateScan : kMpeg2ZigzagScan;
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
        case MPEG2_EXTENSION: {  // outside the headers only quantiser matrices apply
            Mpeg2QuantMatrices matrices = m_matrices;
            Status st = ParseExtension(bs, {nullptr, nullptr, &matrices});
            if (st != STATUS_OK) return st;
            m_matrices = matrices;
            RebuildContexts();
            return STATUS_OK;
        }
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
    Mpeg2SequenceHeader header;
    Status st = ReadSequenceHeader(bs, header);
    if (st != STATUS_OK) return st;
    const VideoStreamType type =
        !header.constrained && NextExtensionId(bs) == EXT_SEQUENCE ? MPEG2_VIDEO : MPEG1_VIDEO;
    if (m_sequence.streamType != UNDEF_VIDEO && m_sequence.streamType != type)
        return STATUS_INVALID_STREAM;  // nothing changes: decoding goes on with the old sequence

    // Until this header is accepted whole no picture is decoded or output: its pictures could
    // need sizes other than those of the frame memory.
    m_sequenceValid = false;
    Mpeg2Sequence sequence = m_sequence;
    sequence.Begin(header, type);
    Mpeg2QuantMatrices matrices;
    matrices.SetDefaults();
    if (header.loadIntra) {
        matrices.Load(Mpeg2QuantMatrices::kIntra, header.intra);
        matrices.Load(Mpeg2QuantMatrices::kChromaIntra, header.intra);
    }
    if (header.loadNonIntra) {
        matrices.Load(Mpeg2QuantMatrices::kNonIntra, header.nonIntra);
        matrices.Load(Mpeg2QuantMatrices::kChromaNonIntra, header.nonIntra);
    }
    st = ParseExtensions(bs, {&sequence, nullptr, &matrices});
    if (st != STATUS_OK) return st;
    st = sequence.Finish();
    if (st != STATUS_OK) return st;

    m_sequence = sequence;
    m_matrices = matrices;
    RebuildContexts();
    if (AllocateFrames() != STATUS_OK) return STATUS_ALLOC_FAILED;
    UpdateSequenceInfo();
    m_sequenceSeen = true;
    m_sequenceValid = true;
    return STATUS_OK;
}

bool MPEG2VideoDecoderBase::SequenceResizesFrames(Mpeg2BitReader bs) const {
    Mpeg2SequenceHeader header;
    if (!m_frameBase || bs.BytesLeft() < 8 || ReadSequenceHeader(bs, header) != STATUS_OK)
        return false;
    const bool extended = !header.constrained && NextExtensionId(bs) == EXT_SEQUENCE;
    const VideoStreamType type = extended ? MPEG2_VIDEO : MPEG1_VIDEO;
    if (m_sequence.streamType != type) return false;  // refused, the old sequence goes on
    Mpeg2Sequence sequence = m_sequence;
    sequence.Begin(header, type);
    if (extended) {
        bs.FindStartCode();
        bs.Skip(36);  // start code and extension identifier
        if (ReadInto(bs, &sequence, ReadSequenceExtension) != STATUS_OK) return false;
    }
    if (sequence.Finish() != STATUS_OK) return false;
    const int32_t chroma = sequence.chromaFormat == CHROMA_422 ? 2 : 1;
    return sequence.mbWidth != m_allocWidth || sequence.mbHeight != m_allocHeight ||
           chroma != m_allocChroma;
}

void MPEG2VideoDecoderBase::UpdateSequenceInfo() {
    double period = FramePeriodFromCode(m_sequence.frameRateCode);
    int32_t sarW = 1, sarH = 1;
    if (m_sequence.streamType == MPEG2_VIDEO) {
        period =
            period * double(m_sequence.frameRateExtD + 1) / double(m_sequence.frameRateExtN + 1);
        int32_t a = 1, b = 1;
        switch (m_sequence.aspectCode) {
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
            int32_t w = m_sequence.displayWidth, h = m_sequence.displayHeight;
            if (w == 0 || h == 0) {
                w = m_sequence.width;
                h = m_sequence.height;
            }
            CalculateSampleAspectRatio(w, h, a, b, &sarW, &sarH);
        }
    } else {
        sarW = kMpeg1Aspect[m_sequence.aspectCode & 15][0];
        sarH = kMpeg1Aspect[m_sequence.aspectCode & 15][1];
    }
    m_framePeriod = period;
    m_ClipInfo.clip_width = m_sequence.width;
    m_ClipInfo.clip_height = m_sequence.height;
    m_ClipInfo.disp_clip_width = m_sequence.displayWidth;
    m_ClipInfo.disp_clip_height = m_sequence.displayHeight;
    m_ClipInfo.color_format = m_sequence.chromaFormat == CHROMA_422 ? YUV422 : YUV420;
    m_ClipInfo.bitrate = m_sequence.bitRate;
    m_ClipInfo.aspect_ratio_width = sarW;
    m_ClipInfo.aspect_ratio_height = sarH;
    m_ClipInfo.framerate = period > 0 ? 1.0 / period : 30.0;
    if (m_ClipInfo.framerate <= 0) m_ClipInfo.framerate = 30.0;
    m_ClipInfo.stream_type = m_sequence.streamType;
}

// Every extension and user-data unit up to the next other start code.
Status MPEG2VideoDecoderBase::ParseExtensions(Mpeg2BitReader& bs, const ExtensionTarget& target) {
    for (;;) {
        int code = bs.FindStartCode();
        if (code == 0xB5) {
            bs.Skip(32);
            Status st = ParseExtension(bs, target);
            if (st != STATUS_OK) return st;
        } else if (code == 0xB2) {
            bs.Skip(32);
            ParseUserData(bs);
        } else {
            return STATUS_OK;
        }
    }
}

// Extensions that do not belong where they stand are skipped like the unknown ones: a sequence
// extension elsewhere could resize frames, a stray picture coding extension change a picture.
Status MPEG2VideoDecoderBase::ParseExtension(Mpeg2BitReader& bs, const ExtensionTarget& target) {
    Mpeg2Sequence* sequence = target.sequence;
    switch (int32_t(bs.Get(4))) {
        case EXT_SEQUENCE:
            return ReadInto(bs, sequence, ReadSequenceExtension);
        case EXT_SEQUENCE_DISPLAY:
            return ReadInto(bs, sequence, ReadSequenceDisplayExtension);
        case EXT_QUANT_MATRIX: {
            Mpeg2QuantMatrixExtension e;
            Status st = ReadQuantMatrixExtension(bs, e);
            if (st == STATUS_OK)
                target.matrices->Apply(e,
                                       sequence ? sequence->chromaFormat : m_sequence.chromaFormat);
            return st;
        }
        case EXT_SEQUENCE_SCALABLE:
            if (!sequence) return STATUS_OK;
            sequence->extensionMarker = 5;
            sequence->scalableMode = int32_t(bs.Get(2));  // scalable layers are not decoded
            return STATUS_OK;
        case EXT_PICTURE_CODING:
            return ReadInto(bs, target.picture, ReadPictureCodingExtension);
        default:
            return STATUS_OK;  // 4, 7, 9, 10 and unknown: skipped up to the next start code
    }
}

Status MPEG2VideoDecoderBase::ParseGopHeader(Mpeg2BitReader& bs) {
    Mpeg2GopHeader gop;
    Status st = ReadGopHeader(bs, gop);
    if (st != STATUS_OK) return st;
    m_gop = gop;
    m_pictureCounter = -1;
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::ParsePictureHeader(Mpeg2BitReader& bs) {
    m_pictureSkipped = false;
    if (bs.BytesLeft() < 4) return STATUS_NOT_ENOUGH_DATA;
    Mpeg2PictureHeader header;
    Status st = ReadPictureHeader(bs, header);
    if (st != STATUS_OK) return st;
    Mpeg2Picture picture;
    picture.Begin(header);
    const bool codingExtension = NextExtensionId(bs) == EXT_PICTURE_CODING;
    if ((m_sequence.streamType == MPEG2_VIDEO) != codingExtension) return STATUS_INVALID_STREAM;
    Mpeg2QuantMatrices matrices = m_matrices;
    st = ParseExtensions(bs, {nullptr, &picture, &matrices});
    if (st != STATUS_OK) return st;
    picture.Derive(m_sequence.mbHeight);
    m_picture = picture;
    m_matrices = matrices;
    RebuildContexts();
    if (m_picture.IsFrame()) m_fieldFlag = kFirstField;

    // A second field pairs with the first only when it is the other field of a like picture.
    const PictureCodingType type = m_picture.codingType;
    if (m_fieldFlag == kSecondField) {
        const bool pairs =
            !m_picture.IsFrame() && m_picture.coding.structure != m_firstFieldStructure &&
            (type == m_firstFieldType || m_firstFieldType == I_PICTURE || type == P_PICTURE);
        if (!pairs) m_fieldFlag = kFirstField;
    }
    if (m_dropSecondField) {
        m_dropSecondField = false;
        if (m_fieldFlag == kSecondField) {
            m_fieldFlag = kFirstField;
            m_pictureSkipped = true;
            return STATUS_NOT_ENOUGH_DATA;
        }
    }
    const bool frameOrFirst = m_picture.IsFrame() || m_fieldFlag == kFirstField;
    if (frameOrFirst && type == I_PICTURE && m_playbackRate < 0 && m_playbackRate > -4) Reset();
    if (!m_firstI) {
        if (type != I_PICTURE) {
            m_pictureSkipped = true;
            return STATUS_NOT_ENOUGH_DATA;
        }
        m_firstI = true;
    }
    return STATUS_OK;
}

void MPEG2VideoDecoderBase::ChooseSlot() {
    if (m_picture.codingType == B_PICTURE) {
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
