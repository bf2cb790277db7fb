#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"

#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"

namespace UMC::mpeg4 {

namespace {

constexpr uint8_t kProfiles[] = {0x01, 0x02, 0x03, 0x08, 0x21, 0x22, 0x32, 0x33, 0x34,
                                 0x91, 0x92, 0x93, 0x94, 0xB1, 0xB2, 0xB3, 0xB4, 0xC1,
                                 0xC2, 0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF7};

// A verid the decoder knows: 3, 0 and 6 or above are replaced.
bool UnknownVerid(int32_t v) {
    return v == 0 || v == 3 || v >= 6;
}

int32_t SignExtend(uint32_t v, int bits) {
    return int32_t(v) - ((v >> (bits - 1)) ? (1 << bits) : 0);
}

#define MARKER(r) \
    if ((r).Get1() != 1) return PARSE_ERROR

int32_t SetUpShortHeader(MPEG4DecoderState& s) {
    Mpeg4BitReader& r = s.bits;
    Mpeg4Vol& vol = s.vol;
    vol.shortVideoHeader = 1;
    vol.shape = 0;
    vol.quantType = 0;
    vol.interlaced = 0;
    vol.scalability = 0;
    vol.reversibleVlc = 0;
    vol.dataPartitioned = 0;
    s.vop.roundingType = 0;
    vol.not8Bit = 0;
    vol.quantPrecision = 5;
    vol.bitsPerPixel = 8;
    vol.obmcDisable = 1;
    vol.resyncMarkerDisable = 1;
    s.vop.fcodeForward = 1;
    s.vop.coded = 1;
    vol.complexity.disable = 1;
    s.vo.colourPrimaries = s.vo.transferCharacteristics = s.vo.matrixCoefficients = 1;
    vol.timeIncrementResolution = 30000;
    vol.timeIncrementBits = BitsFor(30000);
    vol.lowDelay = 1;
    // source_format: bits 4..2 of the fifth byte from the marker start, not consumed.
    const int32_t format = (r.ByteAt(r.ptr + 4) >> 2) & 7;
    if (format < 1 || format > 5) return PARSE_ERROR;
    const ShortHeaderFormat& f = kShortHeaderFormats[format];
    s.sh.sourceFormat = format;
    vol.width = f.width;
    vol.height = f.height;
    s.sh.gobsInVop = f.gobs;
    s.sh.macroblocksInGob = f.macroblocksInGob;
    s.sh.rowsPerGob = f.rowsPerGob;
    vol.parsed = 1;
    return PARSE_OK;
}

void ProbeUserData(MPEG4DecoderState& s) {
    Mpeg4BitReader saved = s.bits;
    if (s.bits.NextStartCodeWithValue(0xB2) && s.bits.BytesLeft() >= 4 &&
        std::memcmp(s.bits.ptr, "DivX", 4) == 0) {
        s.compatibilityMode = 2;
        s.compatibilityFlag = 1;
    }
    s.bits = saved;
}

int32_t ParseComplexityFlags(Mpeg4BitReader& r, Mpeg4ComplexityFlags& c) {
    c.disable = int32_t(r.Get1());
    if (c.disable) return PARSE_OK;
    c.method = int32_t(r.Get(2));
    if (c.method < 2) {
        c.shapeDisable = int32_t(r.Get1());
        if (!c.shapeDisable) {
            c.opaque = int32_t(r.Get1());
            c.transparent = int32_t(r.Get1());
            c.intraCae = int32_t(r.Get1());
            c.interCae = int32_t(r.Get1());
            c.noUpdate = int32_t(r.Get1());
            c.upsampling = int32_t(r.Get1());
        }
        c.set1Disable = int32_t(r.Get1());
        if (!c.set1Disable) {
            c.intraBlocks = int32_t(r.Get1());
            c.interBlocks = int32_t(r.Get1());
            c.inter4vBlocks = int32_t(r.Get1());
            c.notCodedBlocks = int32_t(r.Get1());
        }
        MARKER(r);
        c.set2Disable = int32_t(r.Get1());
        if (!c.set2Disable) {
            c.dctCoefs = int32_t(r.Get1());
            c.dctLines = int32_t(r.Get1());
            c.vlcSymbols = int32_t(r.Get1());
            c.vlcBits = int32_t(r.Get1());
        }
        c.motionDisable = int32_t(r.Get1());
        if (!c.motionDisable) {
            c.apm = int32_t(r.Get1());
            c.npm = int32_t(r.Get1());
            c.interpolateMcQ = int32_t(r.Get1());
            c.forwBackMcQ = int32_t(r.Get1());
            c.halfpel2 = int32_t(r.Get1());
            c.halfpel4 = int32_t(r.Get1());
        }
    }
    MARKER(r);
    if (c.method == 1) {
        c.version2Disable = int32_t(r.Get1());
        if (!c.version2Disable) {
            c.sadct = int32_t(r.Get1());
            c.quarterpel = int32_t(r.Get1());
        }
    }
    return PARSE_OK;
}

// The complexity-estimation values of a VOP header, in the order the VOL flags enable them.
void ParseComplexityValues(MPEG4DecoderState& s) {
    const Mpeg4ComplexityFlags& c = s.vol.complexity;
    Mpeg4BitReader& r = s.bits;
    const int32_t type = s.vop.codingType;
    const bool staticSprite = type == MPEG4_VOP_S && s.vol.spriteEnable == MPEG4_SPRITE_STATIC;
    int n = 0;
    auto value = [&](int32_t enabled, int bits) {
        if (enabled && n < 16) s.vop.complexity[n++] = int32_t(r.Get(bits));
    };
    if (!staticSprite) {
        value(c.opaque, 8);
        value(c.transparent, 8);
        value(c.intraCae, 8);
        value(c.interCae, 8);
        value(c.noUpdate, 8);
        value(c.upsampling, 8);
    }
    value(c.intraBlocks, 8);
    value(c.notCodedBlocks, 8);
    value(c.dctCoefs, 8);
    value(c.dctLines, 8);
    value(c.vlcSymbols, 8);
    value(c.vlcBits, 4);
    if (type == MPEG4_VOP_I) {
        value(c.sadct, 8);
        return;
    }
    value(c.interBlocks, 8);
    value(c.inter4vBlocks, 8);
    value(c.apm, 8);
    value(c.npm, 8);
    value(c.forwBackMcQ, 8);
    value(c.halfpel2, 8);
    value(c.halfpel4, 8);
    if (type == MPEG4_VOP_B || staticSprite) value(c.interpolateMcQ, 8);
    if (!staticSprite) {
        value(c.sadct, 8);
        value(c.quarterpel, 8);
    }
}

int32_t ParseShortHeaderPicture(MPEG4DecoderState& s) {
    Mpeg4BitReader& r = s.bits;
    r.Skip(6);
    s.sh.temporalReference = int32_t(r.Get(8));
    MARKER(r);
    r.Skip(1);  // zero_bit
    s.sh.splitScreen = int32_t(r.Get1());
    s.sh.documentCamera = int32_t(r.Get1());
    s.sh.freezeRelease = int32_t(r.Get1());
    const int32_t format = int32_t(r.Get(3));
    if (format == 0 || format > 5) return PARSE_ERROR;
    s.sh.sourceFormat = format;
    s.sh.pictureCodingType = int32_t(r.Get1());
    s.vop.codingType = s.sh.pictureCodingType ? MPEG4_VOP_P : MPEG4_VOP_I;
    r.Skip(4);
    s.sh.quant = int32_t(r.Get(5));
    s.vop.quant = s.sh.quant;
    r.Skip(1);
    // psupp bytes while pei is set; a run of ones past the end stops at the end.
    while (r.Get1() == 1 && !r.PastEnd()) r.Skip(8);
    return PARSE_OK;
}

}  // namespace

int32_t ParseVisualObjectSequence(MPEG4DecoderState& s) {
    s.profileAndLevelIndication = int32_t(s.bits.Get(8));
    if (s.conformanceChecking) {
        for (uint8_t p : kProfiles)
            if (p == s.profileAndLevelIndication) return PARSE_OK;
        return PARSE_UNSUPPORTED;
    }
    return PARSE_OK;
}

namespace {

int32_t ParseVisualObjectFields(MPEG4DecoderState& s, Mpeg4VisualObject& vo) {
    Mpeg4BitReader& r = s.bits;
    vo.isIdentifier = int32_t(r.Get1());
    if (vo.isIdentifier) {
        vo.verid = int32_t(r.Get(4));
        if (UnknownVerid(vo.verid)) vo.verid = 1;
        vo.priority = int32_t(r.Get(3));
    } else {
        vo.verid = 1;
    }
    vo.type = int32_t(r.Get(4));
    if (vo.type != 1) return PARSE_UNSUPPORTED;
    vo.videoFormat = 5;
    vo.videoRange = 0;
    vo.colourPrimaries = vo.transferCharacteristics = vo.matrixCoefficients = 1;
    vo.videoSignalType = int32_t(r.Get1());
    if (vo.videoSignalType) {
        vo.videoFormat = int32_t(r.Get(3));
        vo.videoRange = int32_t(r.Get1());
        vo.colourDescription = int32_t(r.Get1());
        if (vo.colourDescription) {
            vo.colourPrimaries = int32_t(r.Get(8));
            vo.transferCharacteristics = int32_t(r.Get(8));
            vo.matrixCoefficients = int32_t(r.Get(8));
            if (s.conformanceChecking &&
                (!vo.colourPrimaries || !vo.transferCharacteristics || !vo.matrixCoefficients))
                return PARSE_ERROR;
        }
    }
    return PARSE_OK;
}

}  // namespace

int32_t ParseVisualObject(MPEG4DecoderState& s) {
    // As the layer header: a damaged one changes nothing.
    Mpeg4VisualObject vo = s.vo;
    const int32_t result = ParseVisualObjectFields(s, vo);
    if (result == PARSE_OK) s.vo = vo;
    return result;
}

void ParseQuantMatrix(Mpeg4BitReader& r, uint8_t* matrix) {
    const uint8_t* zigzag = vcScanTable(vcScanZigzag);
    int i = 0;
    uint8_t last = 0;
    for (; i < 64; ++i) {
        const uint8_t v = uint8_t(r.Get(8));
        if (v == 0) break;
        matrix[zigzag[i]] = last = v;
    }
    if (i == 0) {
        for (int k = 1; k < 64; ++k) matrix[zigzag[k]] = 0;
        return;
    }
    for (; i < 64; ++i) matrix[zigzag[i]] = last;
}

namespace {

// The fields of a VOL header into vol (zeroed by the caller).
int32_t ParseVolFields(MPEG4DecoderState& s, Mpeg4Vol& vol) {
    Mpeg4BitReader& r = s.bits;
    const uint32_t code = r.Show32();
    if (code < 0x120 || code > 0x12F) return PARSE_ERROR;
    r.Skip(32);
    vol.id = int32_t(code & 15);
    vol.shortVideoHeader = 0;
    vol.randomAccessible = int32_t(r.Get1());
    vol.typeIndication = int32_t(r.Get(8));
    vol.isIdentifier = int32_t(r.Get1());
    if (vol.isIdentifier) {
        vol.verid = int32_t(r.Get(4));
        if (UnknownVerid(vol.verid)) vol.verid = s.vo.verid;
        vol.priority = int32_t(r.Get(3));
    } else {
        vol.verid = s.vo.verid;
    }
    if (vol.verid == 0) vol.verid = 1;  // a VOL without a visual object header
    vol.aspectRatioInfo = int32_t(r.Get(4));
    if (vol.aspectRatioInfo == 15) {
        vol.parWidth = int32_t(r.Get(8));
        vol.parHeight = int32_t(r.Get(8));
    }
    vol.lowDelay = vol.typeIndication == 10 ? 0 : 1;
    vol.controlParameters = int32_t(r.Get1());
    if (vol.controlParameters) {
        vol.chromaFormat = int32_t(r.Get(2));
        if (vol.chromaFormat != 1) return PARSE_ERROR;
        vol.lowDelay = int32_t(r.Get1());
        vol.vbvParameters = int32_t(r.Get1());
        if (vol.vbvParameters) {
            int32_t rate = int32_t(r.Get(15)) << 15;
            MARKER(r);
            rate += int32_t(r.Get(15));
            MARKER(r);
            if (rate == 0) return PARSE_ERROR;
            vol.bitRate = rate;
            int32_t size = int32_t(r.Get(15)) * 8;
            MARKER(r);
            size += int32_t(r.Get(3));
            if (size == 0) return PARSE_ERROR;
            vol.vbvBufferSize = size;
            int32_t occupancy = int32_t(r.Get(11)) << 15;
            MARKER(r);
            occupancy += int32_t(r.Get(15));
            MARKER(r);
            vol.vbvOccupancy = occupancy;
        }
    }
    vol.shape = int32_t(r.Get(2));
    if (vol.shape != 0) return PARSE_ERROR;
    MARKER(r);
    vol.timeIncrementResolution = int32_t(r.Get(16));
    if (vol.timeIncrementResolution == 0) return PARSE_ERROR;
    MARKER(r);
    vol.timeIncrementBits = BitsFor(vol.timeIncrementResolution);
    vol.fixedVopRate = int32_t(r.Get1());
    if (vol.fixedVopRate) {
        vol.fixedVopTimeIncrement = int32_t(r.Get(vol.timeIncrementBits));
        if (vol.fixedVopTimeIncrement == 0) return PARSE_ERROR;
    }
    MARKER(r);
    const int32_t width = int32_t(r.Get(13));
    MARKER(r);
    const int32_t height = int32_t(r.Get(13));
    MARKER(r);
    if (width == 0 || height == 0) return PARSE_ERROR;
    // Refused before the layer's size is taken, so the frames in use keep matching it.
    if (!PictureSizeAllowed(width, height)) return PARSE_UNSUPPORTED;
    vol.width = width;
    vol.height = height;
    vol.interlaced = int32_t(r.Get1());
    vol.obmcDisable = int32_t(r.Get1());
    vol.spriteEnable = int32_t(r.Get(vol.verid == 1 ? 1 : 2));
    if (vol.spriteEnable == 3) return PARSE_ERROR;
    if (vol.spriteEnable == MPEG4_SPRITE_STATIC) {
        vol.spriteWidth = int32_t(r.Get(13));
        MARKER(r);
        vol.spriteHeight = int32_t(r.Get(13));
        MARKER(r);
        vol.spriteLeft = SignExtend(r.Get(13), 13);
        MARKER(r);
        vol.spriteTop = SignExtend(r.Get(13), 13);
        MARKER(r);
        if (vol.spriteWidth == 0 || vol.spriteHeight == 0 || (vol.spriteLeft & 1) ||
            (vol.spriteTop & 1))
            return PARSE_ERROR;
        if (!PictureSizeAllowed(vol.spriteWidth, vol.spriteHeight)) return PARSE_UNSUPPORTED;
    }
    if (vol.spriteEnable != MPEG4_SPRITE_NONE) {
        vol.spriteWarpingPoints = int32_t(r.Get(6));
        if (vol.spriteWarpingPoints > 4 ||
            (vol.spriteWarpingPoints == 4 && vol.spriteEnable == MPEG4_SPRITE_GMC))
            return PARSE_ERROR;
        vol.spriteWarpingAccuracy = int32_t(r.Get(2));
        vol.spriteBrightnessChange = int32_t(r.Get1());
        if (vol.spriteEnable == MPEG4_SPRITE_STATIC) {
            vol.lowLatencySprite = int32_t(r.Get1());
            if (vol.lowLatencySprite) return PARSE_ERROR;
        } else if (vol.spriteBrightnessChange) {
            return PARSE_ERROR;
        }
    }
    vol.not8Bit = int32_t(r.Get1());
    if (vol.not8Bit) return PARSE_ERROR;
    vol.quantPrecision = 5;
    vol.bitsPerPixel = 8;
    vol.quantType = int32_t(r.Get1());
    std::memcpy(vol.intraMatrix, kDefaultIntraMatrix, 64);
    std::memcpy(vol.nonIntraMatrix, kDefaultNonIntraMatrix, 64);
    if (vol.quantType) {
        vol.loadIntraMatrix = int32_t(r.Get1());
        if (vol.loadIntraMatrix) ParseQuantMatrix(r, vol.intraMatrix);
        vol.loadNonIntraMatrix = int32_t(r.Get1());
        if (vol.loadNonIntraMatrix) ParseQuantMatrix(r, vol.nonIntraMatrix);
    }
    if (vol.verid != 1) vol.quarterSample = int32_t(r.Get1());
    if (ParseComplexityFlags(r, vol.complexity) != PARSE_OK) return PARSE_ERROR;
    vol.resyncMarkerDisable = int32_t(r.Get1());
    vol.dataPartitioned = int32_t(r.Get1());
    if (vol.dataPartitioned) vol.reversibleVlc = int32_t(r.Get1());
    if (vol.verid != 1) {
        vol.newpredEnable = int32_t(r.Get1());
        if (vol.newpredEnable) {
            vol.requestedUpstreamMessageType = int32_t(r.Get(2));
            vol.newpredSegmentType = int32_t(r.Get1());
        }
        vol.reducedResolutionEnable = int32_t(r.Get1());
        if (vol.reducedResolutionEnable) return PARSE_ERROR;
    }
    vol.scalability = int32_t(r.Get1());
    if (vol.scalability) return PARSE_ERROR;
    if (r.PastEnd()) return PARSE_ERROR;
    vol.parsed = 1;
    return PARSE_OK;
}

}  // namespace

int32_t ParseVideoObjectLayer(MPEG4DecoderState& s) {
    if ((s.bits.Show32() & ~0x3FFu) == 0x8000) return SetUpShortHeader(s);
    // Taken only whole: a damaged layer header leaves the layer in use, and the frames sized
    // for it, as they were.
    Mpeg4Vol vol{};
    const int32_t result = ParseVolFields(s, vol);
    if (result != PARSE_OK) return result;
    s.vol = vol;
    ProbeUserData(s);
    return PARSE_OK;
}

int32_t ParseGroupOfVops(MPEG4DecoderState& s) {
    Mpeg4BitReader& r = s.bits;
    const int64_t hours = r.Get(5);
    const int64_t minutes = r.Get(6);
    MARKER(r);
    const int64_t seconds = r.Get(6);
    s.gov.time = ((hours * 60 + minutes) * 60 + seconds) * s.vol.timeIncrementResolution;
    s.gov.closed = int32_t(r.Get1());
    s.gov.brokenLink = int32_t(r.Get1());
    return PARSE_OK;
}

int32_t ParseBrightnessChangeFactor(Mpeg4BitReader& r) {
    const uint32_t v4 = r.Show(4);
    if (v4 == 15) {
        r.Skip(4);
        return int32_t(r.Get(10)) + 625;
    }
    if (v4 == 14) {
        r.Skip(4);
        return int32_t(r.Get(9)) + 113;
    }
    if ((v4 >> 1) == 6) {
        r.Skip(3);
        const int32_t v = int32_t(r.Get(7));
        return v < 64 ? v - 112 : v - 15;
    }
    if ((v4 >> 3) == 0) {
        r.Skip(1);
        const int32_t v = int32_t(r.Get(5));
        return v < 16 ? v - 16 : v - 15;
    }
    r.Skip(2);
    const int32_t v = int32_t(r.Get(6));
    return v < 32 ? v - 48 : v - 15;
}

int32_t ParseSpriteTrajectory(MPEG4DecoderState& s) {
    Mpeg4BitReader& r = s.bits;
    auto component = [&r](int32_t& out) -> bool {
        const uint32_t v3 = r.Show(3);
        int length;
        if (v3 < 2) {
            r.Skip(2);
            length = 0;
        } else if (v3 < 7) {
            r.Skip(3);
            length = int(v3) - 1;
        } else {
            r.Skip(3);
            int k = 0;
            while (r.Get1() == 1)
                if (++k > 8) return false;
            length = 6 + k;
        }
        if (length == 0) {
            out = 0;
        } else {
            const int32_t code = int32_t(r.Get(length));
            out = (code >> (length - 1)) ? code : code + 1 - (1 << length);
        }
        return r.Get1() == 1;
    };
    for (int i = 0; i < s.vol.spriteWarpingPoints && i < 4; ++i) {
        if (!component(s.vop.du[i]) || !component(s.vop.dv[i])) return PARSE_ERROR;
    }
    return PARSE_OK;
}

int32_t ParseVopHeader(MPEG4DecoderState& s) {
    if (s.vol.shortVideoHeader) return ParseShortHeaderPicture(s);
    Mpeg4BitReader& r = s.bits;
    Mpeg4VopHeader& vop = s.vop;
    vop.codingType = int32_t(r.Get(2));
    if ((s.iVopsOnly && vop.codingType != MPEG4_VOP_I) ||
        (s.noBVops && vop.codingType == MPEG4_VOP_B))
        return PARSE_ERROR;
    vop.moduloTimeBase = 0;
    while (r.Get1() == 1) {
        if (r.PastEnd()) return PARSE_ERROR;
        ++vop.moduloTimeBase;
    }
    MARKER(r);
    vop.timeIncrement = int32_t(r.Get(s.vol.timeIncrementBits));
    MARKER(r);
    vop.coded = int32_t(r.Get1());
    if (!vop.coded) return PARSE_OK;
    if (s.vol.newpredEnable) {
        const int bits = s.vol.timeIncrementBits + 3 < 15 ? s.vol.timeIncrementBits + 3 : 15;
        vop.id = int32_t(r.Get(bits));
        vop.idForPredictionIndication = int32_t(r.Get1());
        if (vop.idForPredictionIndication) vop.idForPrediction = int32_t(r.Get(bits));
        MARKER(r);
    }
    if (vop.codingType == MPEG4_VOP_P ||
        (vop.codingType == MPEG4_VOP_S && s.vol.spriteEnable == MPEG4_SPRITE_GMC))
        vop.roundingType = int32_t(r.Get1());
    if (!s.vol.complexity.disable && s.vol.complexity.method == 0) ParseComplexityValues(s);
    vop.intraDcVlcThr = int32_t(r.Get(3));
    if (s.vol.interlaced) {
        vop.topFieldFirst = int32_t(r.Get1());
        vop.alternateVerticalScan = int32_t(r.Get1());
    }
    if (vop.codingType == MPEG4_VOP_S && s.vol.spriteEnable != MPEG4_SPRITE_NONE) {
        if (s.vol.spriteWarpingPoints > 0 && ParseSpriteTrajectory(s) != PARSE_OK)
            return PARSE_ERROR;
        if (s.vol.spriteBrightnessChange)
            vop.brightnessChangeFactor = ParseBrightnessChangeFactor(r);
        if (s.vol.spriteEnable == MPEG4_SPRITE_STATIC) return PARSE_OK;
    }
    vop.quant = int32_t(r.Get(s.vol.quantPrecision));
    if (vop.codingType != MPEG4_VOP_I) {
        vop.fcodeForward = int32_t(r.Get(3));
        if (vop.fcodeForward == 0) return PARSE_ERROR;
    }
    if (vop.codingType == MPEG4_VOP_B) {
        vop.fcodeBackward = int32_t(r.Get(3));
        if (vop.fcodeBackward == 0) return PARSE_ERROR;
    }
    return PARSE_OK;
}

int32_t ResyncMarkerBits(const MPEG4DecoderState& s) {
    switch (s.vop.codingType) {
        case MPEG4_VOP_I:
            return 17;
        case MPEG4_VOP_B:
            // At least 18 bits: the encoders in use never write the 17-bit marker in a B-VOP.
            return 16 + std::max({s.vop.fcodeForward, s.vop.fcodeBackward, 2});
        default:
            return 16 + s.vop.fcodeForward;
    }
}

int32_t BuildQuantSpecs(MPEG4DecoderState& s) {
    const bool matrix = s.vol.quantType != 0;
    if (vcQuantMatrixInitIntra(matrix ? s.vol.intraMatrix : nullptr, s.dec.intraSpec, 8) != 0 ||
        vcQuantMatrixInitInter(matrix ? s.vol.nonIntraMatrix : nullptr, s.dec.interSpec, 8) != 0)
        return PARSE_ERROR;
    return PARSE_OK;
}

#undef MARKER

}  // namespace UMC::mpeg4
