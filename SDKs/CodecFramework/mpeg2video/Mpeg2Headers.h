// The stream headers as values. Each reader fills a local value and fails without side effects
// when the header is cut short or carries a forbidden value; the decoder takes the value over only
// when the whole header (with the extensions that belong to it) was read.
#pragma once

#include <cstdint>

#include "SDKs/CodecFramework/core/MediaData.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/core/VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"

namespace UMC {

// picture_coding_type. The values are the containers' frame types, so a decoded picture is
// stamped with its own (a D picture with I_PICTURE: it is decoded as one).
using PictureCodingType = FrameType;

// chroma_format of the sequence extension; 4:4:4 is decoded with the 4:2:0 layout.
enum ChromaFormat : int32_t {
    CHROMA_420 = 1,
    CHROMA_422 = 2,
    CHROMA_444 = 3,
};

// extension_start_code_identifier values the decoder acts on.
enum ExtensionId : int32_t {
    EXT_SEQUENCE = 1,
    EXT_SEQUENCE_DISPLAY = 2,
    EXT_QUANT_MATRIX = 3,
    EXT_SEQUENCE_SCALABLE = 5,
    EXT_PICTURE_CODING = 8,
};

struct Mpeg2QuantMatrixExtension {
    bool load[4] = {};
    uint8_t matrix[4][64];  // zigzag order, intra, non-intra, chroma intra, chroma non-intra
};

// The four quantiser matrices in natural (row) order.
struct Mpeg2QuantMatrices {
    enum : int { kIntra, kNonIntra, kChromaIntra, kChromaNonIntra };
    uint8_t m[4][64];

    void SetDefaults();
    void Load(int which, const uint8_t* zigzagOrder);
    void Apply(const Mpeg2QuantMatrixExtension& extension, ChromaFormat chroma);
};

struct Mpeg2SequenceHeader {
    int32_t width = 0, height = 0;  // the low 12 bits
    int32_t aspectCode = 0;
    int32_t frameRateCode = 0;
    int32_t bitRateValue = 0;  // units of 400 bit/s
    bool constrained = false;
    bool loadIntra = false, loadNonIntra = false;
    uint8_t intra[64], nonIntra[64];  // zigzag order, when loaded
};

struct Mpeg2SequenceExtension {
    int32_t profile = 0, level = 0;
    bool progressive = false;
    ChromaFormat chromaFormat = CHROMA_420;  // 0 (reserved) is kept as read
    int32_t widthExtension = 0, heightExtension = 0;
    int32_t bitRateExtension = 0;
    int32_t frameRateExtN = 0, frameRateExtD = 0;
};

struct Mpeg2SequenceDisplayExtension {
    int32_t width = 0, height = 0;
};

struct Mpeg2GopHeader {
    bool closedGop = false;
    bool brokenLink = false;
    int32_t timeCodePictures = 0;
    double timeCode = 0.0;  // seconds
};

struct Mpeg2PictureHeader {
    int32_t temporalReference = 0;
    PictureCodingType codingType = I_PICTURE;  // D_PICTURE as read
    bool fullPel[2] = {};                      // forward, backward (MPEG-1)
    int32_t fcode[2] = {};                     // forward, backward; 0 when absent
};

// The values without a picture coding extension are MPEG-1's.
struct Mpeg2PictureCodingExtension {
    int32_t fcode[2][2] = {{1, 1}, {1, 1}};  // [forward/backward][horizontal/vertical]
    int32_t intraDcPrecision = 0;
    PictureStructure structure = PS_FRAME;
    bool topFieldFirst = false;
    bool framePredFrameDct = true;
    bool concealmentVectors = false;
    bool qScaleType = false;
    int32_t intraVlcFormat = 0;  // selects the intra coefficient table
    bool alternateScan = false;
    bool repeatFirstField = false;
    bool progressiveFrame = true;
};

// What the decoder keeps of a sequence header and its extensions.
struct Mpeg2Sequence {
    VideoStreamType streamType = UNDEF_VIDEO;
    int32_t width = 0, height = 0;
    int32_t displayWidth = 0, displayHeight = 0;  // 0 without a display extension
    ChromaFormat chromaFormat = CHROMA_420;       // CHROMA_420 or CHROMA_422 once accepted
    int32_t bitRate = 0;                          // -1 when it does not fit 32 bits
    int32_t aspectCode = 0;
    int32_t frameRateCode = 0;
    int32_t profile = 4, level = 8;
    bool progressive = true;
    int32_t frameRateExtN = 0, frameRateExtD = 0;
    int32_t extensionMarker = 0;  // 1 after a sequence extension, 5 after a scalable one
    int32_t scalableMode = -1;
    int32_t mbWidth = 0, mbHeight = 0, mbCount = 0;

    // Starts a new sequence from its header; the profile and level stay until an extension.
    void Begin(const Mpeg2SequenceHeader& header, VideoStreamType type);
    void Apply(const Mpeg2SequenceExtension& extension);
    void Apply(const Mpeg2SequenceDisplayExtension& display);
    // Folds the chroma format, checks the size and derives the macroblock size.
    Status Finish();
};

// What the decoder keeps of a picture header and its coding extension.
struct Mpeg2Picture {
    Mpeg2PictureHeader header;
    Mpeg2PictureCodingExtension coding;
    bool dPicture = false;
    PictureCodingType codingType = I_PICTURE;  // D pictures as I
    // Derived.
    int32_t rsize[2][2] = {};
    int32_t dcReset = 128;  // intra DC predictor at a slice start
    int32_t dcShift = 3;
    int32_t mbRows = 0;  // macroblock rows of the frame or field

    bool IsFrame() const { return coding.structure == PS_FRAME; }
    // From the header (MPEG-1 values for the rest; an MPEG-1 f_code fills both components).
    void Begin(const Mpeg2PictureHeader& pictureHeader);
    void Apply(const Mpeg2PictureCodingExtension& extension) { coding = extension; }
    void Derive(int32_t sequenceMbHeight);
};

// Header readers: the reader stands after the start code (and for extensions after the 4-bit
// identifier). STATUS_INVALID_STREAM for a header that runs past the data or has a forbidden
// value; the output is then unspecified and must not be used.
Status ReadSequenceHeader(Mpeg2BitReader& bs, Mpeg2SequenceHeader& out);
Status ReadSequenceExtension(Mpeg2BitReader& bs, Mpeg2SequenceExtension& out);
Status ReadSequenceDisplayExtension(Mpeg2BitReader& bs, Mpeg2SequenceDisplayExtension& out);
Status ReadQuantMatrixExtension(Mpeg2BitReader& bs, Mpeg2QuantMatrixExtension& out);
Status ReadGopHeader(Mpeg2BitReader& bs, Mpeg2GopHeader& out);
Status ReadPictureHeader(Mpeg2BitReader& bs, Mpeg2PictureHeader& out);
Status ReadPictureCodingExtension(Mpeg2BitReader& bs, Mpeg2PictureCodingExtension& out);

// The identifier of an extension that starts at the next start code, else -1.
int32_t NextExtensionId(const Mpeg2BitReader& bs);

}  // namespace UMC
