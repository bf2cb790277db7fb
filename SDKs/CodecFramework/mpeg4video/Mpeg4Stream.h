// Stream-level steps of the MPEG-4 decoder below the frame driver: the header search, finding the
// next VOP, the frames and per-macroblock arrays, and VOP time.
#pragma once

#include <memory>
#include <vector>

#include "SDKs/CodecFramework/core/Status.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

// True when the data starts (after zero bytes) with a visual object sequence, visual object or
// VOL start code, or a short-header picture start.
bool LooksLikeMpeg4Video(const uint8_t* data, size_t size);

// Length of the access unit at `data`: up to the start of the second VOP (short header: picture),
// or `size` when there is none. Feeding the decoder one unit per call copies one picture's bytes.
size_t Mpeg4AccessUnitLength(const uint8_t* data, size_t size, bool shortHeader);

// Finds and parses the stream headers up to the VOL (or a short-header marker, which sets up
// short-header mode). STATUS_OK, STATUS_SYNC_NOT_FOUND or STATUS_INVALID_STREAM.
Status FindHeaders(MPEG4DecoderState& s);

// Moves to the next VOP header, parsing the visual object, GOV and VOL headers met on the way;
// *volChanged tells that a VOL was parsed. STATUS_OK (the reader stands at the VOP header),
// STATUS_SYNC_NOT_FOUND or STATUS_INVALID_STREAM.
Status FindNextVop(MPEG4DecoderState& s, bool* volChanged);

// The per-macroblock arrays and the kernel work block for mbWidth x mbHeight macroblocks (a size
// already checked against kMpeg4MaxMacroblocks), pointed to by s.dec with the VOP geometry.
class Mpeg4MacroblockArrays {
public:
    // Arrays for a VOP of mbWidth x mbHeight macroblocks, with room for `capacity` macroblocks
    // when that is more (a static sprite larger than the VOP).
    void Allocate(MPEG4DecoderState& s, int32_t mbWidth, int32_t mbHeight, int32_t capacity = 0);
    // The overlapped motion compensation arrays, when the VOL enables it and they are missing (a
    // VOL that switches it on mid-stream keeps the other arrays).
    void AllocateObmc(MPEG4DecoderState& s);
    void Free(MPEG4DecoderState& s);

private:
    std::vector<uint8_t> m_quant;
    std::vector<Mpeg4MacroblockInfo> m_info;
    std::vector<Mpeg4MacroblockInfo> m_bInfo;
    std::vector<Mpeg4FieldVectors> m_fieldVectors;
    std::vector<Mpeg4IntraPredictors> m_predictors;
    std::vector<Mpeg4PartitionEntry> m_partition;
    std::vector<int16_t> m_block;
    std::vector<int16_t> m_obmcResidual;
    std::vector<uint8_t> m_obmcPending;
};

// Frames (current, forward, and backward unless B-VOPs are excluded) and per-macroblock arrays
// for the VOL's size, pointed to by the state. The forward reference starts black (luma 0,
// chroma 128), the picture a stream starting with a P-VOP predicts from.
class Mpeg4Pictures {
public:
    // STATUS_OK, or STATUS_ALLOC_FAILED for a size beyond kMpeg4MaxMacroblocks.
    Status Allocate(MPEG4DecoderState& s, bool withBackward);
    // Exchanges the current and forward frames.
    static void SwapCurrentForward(MPEG4DecoderState& s);

private:
    MPEG4FrameBuffer m_frames[3] = {};
    std::vector<uint8_t> m_planes[3];
    Mpeg4MacroblockArrays m_arrays;
};

// VOP time in ticks of vop_time_increment_resolution (short header: 1/30000 s) of the VOP whose
// header was just parsed; advances the time bases. The short-header temporal reference wraps:
// a time below the current frame's is moved on by 256 x 1001 ticks.
int64_t VopTime(MPEG4DecoderState& s);

// Decodes the VOP whose header was just parsed into s.dec.current: I-VOPs; 0 or
// kMpeg4VopConcealed; PARSE_UNSUPPORTED for the coding types decoded elsewhere.
int32_t DecodeVop(MPEG4DecoderState& s);

// Decodes the VOPs of a whole elementary stream held in memory, one per call, in decoding order:
// the steps above without the frame driver's reordering, timing and post-processing.
class Mpeg4StreamDecoder {
public:
    Mpeg4StreamDecoder();
    // Copies the stream (with the kernels' padding) and finds its headers.
    Status Open(const uint8_t* data, size_t size);
    // The next VOP: STATUS_OK with *frame the decoded picture (and *vopResult the VOP decoder's
    // result), or STATUS_SYNC_NOT_FOUND at the end, STATUS_INVALID_STREAM for a bad header.
    Status Next(const MPEG4FrameBuffer** frame, int32_t* vopResult);
    const MPEG4DecoderState& State() const { return *m_state; }

private:
    std::unique_ptr<MPEG4DecoderState> m_state;
    Mpeg4PaddedInput m_input;
    Mpeg4Pictures m_pictures;
};

}  // namespace UMC::mpeg4
