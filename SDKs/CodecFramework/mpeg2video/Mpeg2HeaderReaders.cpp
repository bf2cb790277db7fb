// Header readers into values, and what the decoder derives from them.
#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Headers.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Tables.h"

namespace UMC {

namespace {

constexpr int32_t kBitRateOverflow = 10737418;  // bit_rate units of 400 that overflow 32 bits

// Every reader ends here: missing bytes read as zeros, so a header cut short is caught afterwards.
Status Whole(const Mpeg2BitReader& bs) {
    return bs.BitsLeft() < 0 ? STATUS_INVALID_STREAM : STATUS_OK;
}

void ReadMatrix(Mpeg2BitReader& bs, uint8_t* zigzagOrder) {
    for (int k = 0; k < 64; ++k) zigzagOrder[k] = uint8_t(bs.Get(8));
}

}  // namespace

void Mpeg2QuantMatrices::SetDefaults() {
    std::memcpy(m[kIntra], kMpeg2DefaultIntraMatrix, 64);
    std::memset(m[kNonIntra], 16, 64);
    std::memcpy(m[kChromaIntra], kMpeg2DefaultIntraMatrix, 64);
    std::memset(m[kChromaNonIntra], 16, 64);
}

void Mpeg2QuantMatrices::Load(int which, const uint8_t* zigzagOrder) {
    for (int k = 0; k < 64; ++k) m[which][kMpeg2ZigzagScan[k]] = zigzagOrder[k];
}

// A luma matrix loaded here also becomes its chroma matrix (4:2:0 has no other); a chroma matrix
// left unloaded in 4:2:2 keeps what an earlier extension gave it.
void Mpeg2QuantMatrices::Apply(const Mpeg2QuantMatrixExtension& e, ChromaFormat chroma) {
    for (int which = 0; which < 4; ++which) {
        if (!e.load[which]) continue;
        if (which >= kChromaIntra && chroma == CHROMA_420) continue;
        Load(which, e.matrix[which]);
        if (which < kChromaIntra) Load(which + 2, e.matrix[which]);
    }
}

void Mpeg2Sequence::Begin(const Mpeg2SequenceHeader& header, VideoStreamType type) {
    streamType = type;
    width = header.width;
    height = header.height;
    aspectCode = header.aspectCode;
    frameRateCode = header.frameRateCode;
    bitRate = header.bitRateValue * 400;
    displayWidth = displayHeight = 0;
    chromaFormat = CHROMA_420;
    progressive = true;
    frameRateExtN = frameRateExtD = 0;
    extensionMarker = 0;
    scalableMode = -1;
}

void Mpeg2Sequence::Apply(const Mpeg2SequenceExtension& e) {
    profile = e.profile;
    level = e.level;
    progressive = e.progressive;
    chromaFormat = e.chromaFormat;
    width = (width & 0xFFF) | (e.widthExtension << 12);
    height = (height & 0xFFF) | (e.heightExtension << 12);
    if (e.bitRateExtension) {
        const int64_t value =
            int64_t((bitRate / 400) & 0x3FFFF) | (int64_t(e.bitRateExtension) << 18);
        bitRate = value >= kBitRateOverflow ? -1 : int32_t(value * 400);
    } else if (bitRate / 400 >= kBitRateOverflow) {
        bitRate = -1;
    }
    frameRateExtN = e.frameRateExtN;
    frameRateExtD = e.frameRateExtD;
    extensionMarker = 1;
}

void Mpeg2Sequence::Apply(const Mpeg2SequenceDisplayExtension& display) {
    displayWidth = display.width;
    displayHeight = display.height;
}

Status Mpeg2Sequence::Finish() {
    if (streamType == MPEG1_VIDEO) {
        progressive = true;
        chromaFormat = CHROMA_420;
    }
    if (chromaFormat != CHROMA_422) chromaFormat = CHROMA_420;
    if (width <= 0 || width > 65535 || height <= 0 || height > 65535) return STATUS_INVALID_PARAMS;
    if (!PictureSizeAllowed(width, height)) return STATUS_INVALID_PARAMS;
    mbWidth = (width + 15) / 16;
    mbHeight = (height + 15) / 16;
    if (!progressive) mbHeight = (mbHeight + 1) & ~1;
    mbCount = mbWidth * mbHeight;
    return STATUS_OK;
}

void Mpeg2Picture::Begin(const Mpeg2PictureHeader& pictureHeader) {
    header = pictureHeader;
    coding = Mpeg2PictureCodingExtension();
    for (int s = 0; s < 2; ++s)
        if (header.fcode[s]) coding.fcode[s][0] = coding.fcode[s][1] = header.fcode[s];
    dPicture = header.codingType == D_PICTURE;
    codingType = dPicture ? I_PICTURE : header.codingType;
}

void Mpeg2Picture::Derive(int32_t sequenceMbHeight) {
    for (int s = 0; s < 2; ++s)
        for (int t = 0; t < 2; ++t) rsize[s][t] = std::clamp(coding.fcode[s][t] - 1, 0, 14);
    dcReset = 128 << coding.intraDcPrecision;
    dcShift = 3 - coding.intraDcPrecision;
    mbRows = IsFrame() ? sequenceMbHeight : sequenceMbHeight / 2;
}

Status ReadSequenceHeader(Mpeg2BitReader& bs, Mpeg2SequenceHeader& out) {
    out.width = int32_t(bs.Get(12));
    out.height = int32_t(bs.Get(12));
    out.aspectCode = int32_t(bs.Get(4));
    out.frameRateCode = int32_t(bs.Get(4));
    out.bitRateValue = int32_t(bs.Get(18));
    bs.Skip(1);   // marker
    bs.Skip(10);  // vbv_buffer_size_value
    out.constrained = bs.Get1();
    out.loadIntra = bs.Get1();
    if (out.loadIntra) ReadMatrix(bs, out.intra);
    out.loadNonIntra = bs.Get1();
    if (out.loadNonIntra) ReadMatrix(bs, out.nonIntra);
    return Whole(bs);
}

Status ReadSequenceExtension(Mpeg2BitReader& bs, Mpeg2SequenceExtension& out) {
    const int32_t profileAndLevel = int32_t(bs.Get(8));
    out.profile = (profileAndLevel >> 4) & 7;
    out.level = profileAndLevel & 15;
    out.progressive = bs.Get1();
    out.chromaFormat = ChromaFormat(bs.Get(2));
    out.widthExtension = int32_t(bs.Get(2));
    out.heightExtension = int32_t(bs.Get(2));
    out.bitRateExtension = int32_t(bs.Get(12));
    bs.Skip(1);  // marker
    bs.Skip(8);  // vbv_buffer_size_extension
    bs.Skip(1);  // low_delay
    out.frameRateExtN = int32_t(bs.Get(2));
    out.frameRateExtD = int32_t(bs.Get(5));
    return Whole(bs);
}

Status ReadSequenceDisplayExtension(Mpeg2BitReader& bs, Mpeg2SequenceDisplayExtension& out) {
    bs.Skip(3);                       // video_format
    if (bs.Get1()) bs.Skip(24);       // colour description
    out.width = int32_t(bs.Get(14));  // display_horizontal_size
    bs.Skip(1);
    out.height = int32_t(bs.Get(14));
    return Whole(bs);
}

Status ReadQuantMatrixExtension(Mpeg2BitReader& bs, Mpeg2QuantMatrixExtension& out) {
    for (int which = 0; which < 4; ++which) {
        out.load[which] = bs.Get1();
        if (out.load[which]) ReadMatrix(bs, out.matrix[which]);
    }
    return Whole(bs);
}

Status ReadGopHeader(Mpeg2BitReader& bs, Mpeg2GopHeader& out) {
    bs.Skip(1);  // drop_frame_flag
    const int32_t hours = int32_t(bs.Get(5));
    const int32_t minutes = int32_t(bs.Get(6));
    bs.Skip(1);
    const int32_t seconds = int32_t(bs.Get(6));
    out.timeCodePictures = int32_t(bs.Get(6));
    out.closedGop = bs.Get1();
    out.brokenLink = bs.Get1();
    out.timeCode = hours * 3600.0 + minutes * 60.0 + seconds;
    return Whole(bs);
}

Status ReadPictureHeader(Mpeg2BitReader& bs, Mpeg2PictureHeader& out) {
    out.temporalReference = int32_t(bs.Get(10));
    const uint32_t type = bs.Get(3);
    if (type < I_PICTURE || type > D_PICTURE) return STATUS_INVALID_STREAM;
    out.codingType = PictureCodingType(type);
    bs.Skip(16);  // vbv_delay
    out.fullPel[0] = out.fullPel[1] = false;
    out.fcode[0] = out.fcode[1] = 0;
    const int directions = type == P_PICTURE ? 1 : type == B_PICTURE ? 2 : 0;
    for (int s = 0; s < directions; ++s) {
        out.fullPel[s] = bs.Get1();
        out.fcode[s] = int32_t(bs.Get(3));
        if (out.fcode[s] == 0) return STATUS_INVALID_STREAM;
    }
    while (bs.Get1()) {  // extra_information_picture
        bs.Skip(8);
        if (bs.BitsLeft() < 0) return STATUS_INVALID_STREAM;
    }
    return Whole(bs);
}

Status ReadPictureCodingExtension(Mpeg2BitReader& bs, Mpeg2PictureCodingExtension& out) {
    for (int s = 0; s < 2; ++s)
        for (int t = 0; t < 2; ++t) out.fcode[s][t] = int32_t(bs.Get(4));
    out.intraDcPrecision = int32_t(bs.Get(2));
    out.structure = PictureStructure(bs.Get(2));
    out.topFieldFirst = bs.Get1();
    out.framePredFrameDct = bs.Get1();
    out.concealmentVectors = bs.Get1();
    out.qScaleType = bs.Get1();
    out.intraVlcFormat = int32_t(bs.Get1());
    out.alternateScan = bs.Get1();
    out.repeatFirstField = bs.Get1();
    bs.Skip(1);  // chroma_420_type
    out.progressiveFrame = bs.Get1();
    if (bs.Get1()) bs.Skip(20);  // composite display information
    if (out.structure != PS_TOP_FIELD && out.structure != PS_BOTTOM_FIELD &&
        out.structure != PS_FRAME)
        return STATUS_INVALID_STREAM;
    return Whole(bs);
}

int32_t NextExtensionId(const Mpeg2BitReader& bs) {
    Mpeg2BitReader look = bs;
    if (look.FindStartCode() != 0xB5 || look.BytesLeft() <= 4) return -1;
    return look.ptr[4] >> 4;
}

}  // namespace UMC
