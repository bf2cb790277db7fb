// The core state of the MPEG-4 Part 2 decoder: one block with the bit reader, every header field
// of the stream and the VOP-decoding state that the macroblock decoders share. It holds no owning
// pointer: the frame driver (or a test) allocates the frames and per-macroblock arrays and points
// the state at them, so the whole block can be zeroed to start again.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4BitReader.h"
#include "primitives/MPEG4Coding.h"

namespace UMC {

// Header parser results.
enum : int32_t {
    PARSE_OK = 0,
    PARSE_UNSUPPORTED = -3,  // an object type this decoder does not decode
    PARSE_ERROR = -4,        // a malformed header or a refused tool
};

enum Mpeg4VopType : int32_t { MPEG4_VOP_I = 0, MPEG4_VOP_P = 1, MPEG4_VOP_B = 2, MPEG4_VOP_S = 3 };
enum Mpeg4Sprite : int32_t { MPEG4_SPRITE_NONE = 0, MPEG4_SPRITE_STATIC = 1, MPEG4_SPRITE_GMC = 2 };

// Result of a VOP decoder after a concealed error.
inline constexpr int32_t kMpeg4VopConcealed = -5;

// States of a macroblock's luma in a VOP with overlapped motion compensation.
enum : uint8_t { kObmcDone = 0, kObmcPending = 1, kObmcPendingResidual = 2 };

// Largest VOL size accepted (13-bit fields); frames are refused beyond this many macroblocks.
inline constexpr int32_t kMpeg4MaxMacroblocks = (4096 / 16) * (4096 / 16);

struct Mpeg4VisualObject {
    int32_t isIdentifier;
    int32_t verid;
    int32_t priority;
    int32_t type;
    int32_t videoSignalType;
    int32_t videoFormat;
    int32_t videoRange;
    int32_t colourDescription;
    int32_t colourPrimaries;
    int32_t transferCharacteristics;
    int32_t matrixCoefficients;
};

struct Mpeg4ComplexityFlags {
    int32_t disable;
    int32_t method;
    int32_t shapeDisable;
    int32_t opaque, transparent, intraCae, interCae, noUpdate, upsampling;
    int32_t set1Disable;
    int32_t intraBlocks, interBlocks, inter4vBlocks, notCodedBlocks;
    int32_t set2Disable;
    int32_t dctCoefs, dctLines, vlcSymbols, vlcBits;
    int32_t motionDisable;
    int32_t apm, npm, interpolateMcQ, forwBackMcQ, halfpel2, halfpel4;
    int32_t version2Disable;
    int32_t sadct, quarterpel;
};

struct Mpeg4Vol {
    int32_t id;
    int32_t shortVideoHeader;
    int32_t randomAccessible;
    int32_t typeIndication;
    int32_t isIdentifier;
    int32_t verid;
    int32_t priority;
    int32_t aspectRatioInfo;
    int32_t parWidth, parHeight;
    int32_t controlParameters;
    int32_t chromaFormat;
    int32_t lowDelay;
    int32_t vbvParameters;
    int32_t bitRate;
    int32_t vbvBufferSize;
    int32_t vbvOccupancy;
    int32_t shape;
    int32_t timeIncrementResolution;
    int32_t timeIncrementBits;
    int32_t fixedVopRate;
    int32_t fixedVopTimeIncrement;
    int32_t width, height;
    int32_t interlaced;
    int32_t obmcDisable;
    int32_t spriteEnable;
    int32_t spriteWidth, spriteHeight;
    int32_t spriteLeft, spriteTop;
    int32_t spriteWarpingPoints;
    int32_t spriteWarpingAccuracy;
    int32_t spriteBrightnessChange;
    int32_t lowLatencySprite;
    int32_t not8Bit;
    int32_t quantPrecision;
    int32_t bitsPerPixel;
    int32_t quantType;
    int32_t loadIntraMatrix;
    uint8_t intraMatrix[64];  // raster order
    int32_t loadNonIntraMatrix;
    uint8_t nonIntraMatrix[64];
    int32_t quarterSample;
    Mpeg4ComplexityFlags complexity;
    int32_t resyncMarkerDisable;
    int32_t dataPartitioned;
    int32_t reversibleVlc;
    int32_t newpredEnable;
    int32_t requestedUpstreamMessageType;
    int32_t newpredSegmentType;
    int32_t reducedResolutionEnable;
    int32_t scalability;
    int32_t parsed;
};

struct Mpeg4Gov {
    int64_t time;  // ticks of vop_time_increment_resolution
    int32_t closed;
    int32_t brokenLink;
};

struct Mpeg4VopHeader {
    int32_t codingType;
    int32_t moduloTimeBase;
    int32_t timeIncrement;
    int32_t coded;
    int32_t roundingType;
    int32_t reducedResolution;
    int32_t topFieldFirst;
    int32_t alternateVerticalScan;
    int32_t intraDcVlcThr;
    int32_t id;
    int32_t idForPredictionIndication;
    int32_t idForPrediction;
    int32_t complexity[16];  // the estimation values in the order the VOL flags enable them
    int32_t du[4], dv[4];
    int32_t brightnessChangeFactor;
    int32_t quant;
    int32_t fcodeForward;
    int32_t fcodeBackward;
};

struct Mpeg4ShortHeader {
    int32_t temporalReference;
    int32_t splitScreen;
    int32_t documentCamera;
    int32_t freezeRelease;
    int32_t sourceFormat;
    int32_t pictureCodingType;
    int32_t quant;
    int32_t gobsInVop;
    int32_t macroblocksInGob;
    int32_t rowsPerGob;
};

// One decoded picture: three planes with a 16-sample luma border and an 8-sample chroma border.
struct MPEG4FrameBuffer {
    uint8_t* yBase;
    uint8_t* uBase;
    uint8_t* vBase;
    int32_t yPitch;   // (width in macroblocks + 2) x 16
    int32_t uvPitch;  // half of it
    uint8_t* y;       // first visible sample
    uint8_t* u;
    uint8_t* v;
    int32_t mbWidth, mbHeight;
    int32_t codingType;
    int64_t time;
};

// Per macroblock information kept for the next VOP (motion data is the inter decoder's).
struct Mpeg4MacroblockInfo {
    int16_t mv[4][2];
    uint8_t type;  // 0 inter, 1 inter+q, 2 inter4v, 3 intra, 4 intra+q
    uint8_t notCoded;
    uint8_t coded;
    uint8_t field;  // field_prediction and the two reference selections
};
static_assert(sizeof(Mpeg4MacroblockInfo) == 20);

enum : uint8_t {
    MPEG4_MB_INTER = 0,
    MPEG4_MB_INTER_Q,
    MPEG4_MB_INTER4V,
    MPEG4_MB_INTRA,
    MPEG4_MB_INTRA_Q
};

// The two field vectors (top, bottom; vertical in field lines) of a field-predicted macroblock,
// kept beside its record for the direct mode of the B-VOPs that follow.
struct Mpeg4FieldVectors {
    int16_t mv[2][2];
};

// Intra prediction store of one macroblock: per block the dequantised DC (negative: not
// available), the first row and column of quantised AC values after prediction; the quantiser and
// the video packet it was decoded in.
struct Mpeg4IntraPredictors {
    int16_t dc[6];
    int16_t row[6][7];
    int16_t column[6][7];
    int16_t quant;
    int16_t reserved;
    int32_t packet;
};

// What the first two partitions of a data-partitioned packet give a macroblock's texture.
struct Mpeg4PartitionEntry {
    int16_t dc[6];
    uint8_t cbp;
    uint8_t quant;
    uint8_t useDcVlc;
    uint8_t acPred;
    uint8_t fieldDct;
    uint8_t type;
};

struct Mpeg4VopState {
    int32_t mbWidth, mbHeight, mbCount;
    int32_t macroblockNumberBits;      // width of macroblock_number in video packet headers
    int32_t mbCapacity;                // entries of the per-macroblock arrays (mbCount or more)
    uint8_t* quant;                    // per macroblock
    Mpeg4MacroblockInfo* info;         // per macroblock
    Mpeg4IntraPredictors* predictors;  // per macroblock
    Mpeg4PartitionEntry* partition;    // per macroblock
    MPEG4FrameBuffer* current;
    MPEG4FrameBuffer* forward;
    MPEG4FrameBuffer* backward;
    MPEG4FrameBuffer* sprite;  // static sprite (sprite_enable 1)
    // Records a B-VOP writes (mbCount entries), so that `info` keeps the newer reference's
    // vectors and not-coded flags for every B-VOP between the two references.
    Mpeg4MacroblockInfo* bInfo;
    Mpeg4FieldVectors* fieldVectors;  // per macroblock, valid where the record's field bit is set
    // Overlapped motion compensation (obmc_disable 0; null otherwise): a P-VOP's inter luma waits
    // for the vectors right of and below it. Per macroblock the luma residual (16 x 16) and
    // whether its luma is still to be predicted (kObmcPending, kObmcPendingResidual).
    int16_t* obmcResidual;
    uint8_t* obmcPending;
    // Temporal distances of a B-VOP, set by the frame driver: TRB from the older reference to
    // the B-VOP, TRD between the references (in VOP time ticks; 0 < trb < trd).
    int32_t trb, trd;
    // Ticks of one frame period, for the field distances of interlaced direct mode: kept by the
    // B-VOP decoder from the VOL or the B-VOPs' distances (0 unknown; cleared at a reset).
    int32_t framePeriod;
    const void* warpSpec;       // GMC set-up of the S-VOP being decoded (its decoder's own buffer)
    int32_t packetMacroblocks;  // macroblocks decoded in the current packet
    int32_t packet;             // number of the current video packet in this VOP
    int32_t runningQuant;
    int32_t error;              // 0, or kMpeg4VopConcealed
    int16_t* block;             // 6 x 64 coefficients, 16-byte aligned (kernel work area)
    int64_t timeBase;           // VOP time of the last modulo_time_base second (ticks)
    int64_t referenceTimeBase;  // the same for B-VOPs: the base of the newer reference
    alignas(16) uint8_t intraSpec[kVcQuantMatrixSpecSize];
    alignas(16) uint8_t interSpec[kVcQuantMatrixSpecSize];
};

struct MPEG4DecoderState {
    int32_t compatibilityMode;
    int32_t compatibilityFlag;
    Mpeg4BitReader bits;
    int32_t profileAndLevelIndication;
    Mpeg4VisualObject vo;
    Mpeg4Vol vol;
    Mpeg4Gov gov;
    Mpeg4VopHeader vop;
    Mpeg4ShortHeader sh;
    int32_t conformanceChecking;
    int32_t iVopsOnly;
    int32_t noBVops;
    Mpeg4VopState dec;
};

}  // namespace UMC

namespace UMC {

// Size of the block the decoder object allocates for its state; the state grows into it as the
// inter and frame-driver parts add their fields.
inline constexpr size_t kMpeg4DecoderStateSize = 2736;
static_assert(sizeof(MPEG4DecoderState) <= kMpeg4DecoderStateSize);

}  // namespace UMC
