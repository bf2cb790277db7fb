// Pieces shared by the P-, B- and S-VOP decoders: inter macroblock-layer codes, motion vector
// decoding and prediction, motion-compensated prediction and inter texture.
#pragma once

#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

// ---- macroblock-layer codes (Mpeg4InterCodes.cpp) ----

inline constexpr int32_t kMacroblockStuffing = 255;
// mcbpc of a P- or S-VOP: type (MPEG4_MB_*, or kMacroblockStuffing, after which the macroblock
// starts again with not_coded) and cbpc; false for no code.
bool ReadMcbpcInter(Mpeg4BitReader& r, int32_t& type, int32_t& cbpc);
// One motion vector difference component (fcode 1..7); false for no code.
bool ReadMotionDifference(Mpeg4BitReader& r, int32_t fcode, int32_t& difference);

// ---- motion vectors (Mpeg4MotionVector.cpp) ----

struct MotionVector {
    int32_t x, y;
};

// predictor + difference wrapped into the fcode range.
int32_t WrapVector(int32_t value, int32_t fcode);
// Reads a vector difference pair and adds it to `predictor`.
bool ReadVector(Mpeg4BitReader& r, int32_t fcode, MotionVector predictor, MotionVector& mv);
// The two field vectors (top, bottom) of a field-predicted macroblock from its frame predictor.
bool ReadFieldVectors(Mpeg4BitReader& r, int32_t fcode, MotionVector predictor,
                      MotionVector field[2]);
// Median predictor of luma block `block` of macroblock `index` from the records in s.dec.info,
// `current` holding the vectors already decoded in this macroblock (blocks below `block`).
// Candidates before `packetFirst` (the first macroblock of the video packet) are unavailable.
MotionVector PredictVector(const MPEG4DecoderState& s, int32_t index, int32_t block,
                           int32_t packetFirst, const MotionVector current[4]);
// Chroma vector of a one-vector macroblock, and of four luma vectors (quarter-sample vectors
// are halved first).
MotionVector ChromaVector(MotionVector luma, bool quarterSample);
MotionVector ChromaVector4(const MotionVector luma[4], bool quarterSample);

// ---- prediction (Mpeg4MotionCompensation.cpp) ----

enum class Blend { Replace, Average };

// Predicts the luma of a macroblock at (column, row): one vector (16x16) or, with four, 8x8 per
// block; the chroma from its vector. Quarter-sample vectors with quarter_sample 1.
void PredictMacroblock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t column,
                       int32_t row, const MotionVector luma[4], bool fourVectors, int32_t rounding,
                       Blend blend);
// The chroma part of PredictMacroblock alone.
void PredictMacroblockChroma(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref,
                             int32_t column, int32_t row, const MotionVector luma[4],
                             bool fourVectors, int32_t rounding, Blend blend);
// Overlapped prediction of the 8x8 luma block at (x, y) into dst: v holds its own vector and
// those of the blocks above, below, left and right, each clamped into the padded reference.
void PredictOverlappedBlock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t x,
                            int32_t y, const MotionVector v[5], int32_t rounding, uint8_t* dst,
                            int32_t dstPitch);
// Field prediction of a macroblock: each field (top, bottom) from the reference field select[f]
// (0 top, 1 bottom) at its vector, vertical components in field lines.
void PredictFieldMacroblock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t column,
                            int32_t row, const MotionVector field[2], const int32_t select[2],
                            int32_t rounding, Blend blend);
// The vector a field-predicted macroblock offers its neighbours' prediction.
MotionVector FieldAverage(const MotionVector field[2]);
// Asks the cache for the co-located areas of the macroblock four columns right of macroblock
// `index` in the forward reference, the current frame and, with `backward`, the backward
// reference. Called per macroblock, it hides the reads that the hardware prefetcher misses among
// the many rows a macroblock touches.
void PrefetchAhead(const Mpeg4VopState& d, int32_t index, bool backward);
// Copies the co-located macroblock from ref (vector 0).
void CopyMacroblock(const MPEG4DecoderState& s, const MPEG4FrameBuffer& ref, int32_t column,
                    int32_t row);

// ---- inter texture (Mpeg4InterTexture.cpp) ----

// Decodes the coded blocks (cbp bit 5 = block 0) of an inter macroblock at (column, row) and adds
// them to the prediction in s.dec.current; false on a bitstream error. With lumaResidual (16 x 16,
// zeroed by the caller) the luma blocks' residual is stored there instead, for a prediction made
// later.
bool DecodeInterTexture(MPEG4DecoderState& s, int32_t column, int32_t row, int32_t cbp,
                        int32_t quant, bool fieldDct, bool reversible,
                        int16_t* lumaResidual = nullptr);

// ---- overlapped motion compensation (Mpeg4Obmc.cpp) ----

// Whether the P-VOP being decoded predicts its luma overlapped (the arrays are there).
bool OverlappedVop(const MPEG4DecoderState& s);
// Marks the luma of inter macroblock `index` to be predicted once the VOP's vectors are known;
// returns where its texture stores the luma residual when cbp codes a luma block, else null.
int16_t* DeferLuma(MPEG4DecoderState& s, int32_t index, int32_t cbp);
// Predicts (and adds the residual to) the luma of every macroblock deferred in this VOP, from the
// records in s.dec.info.
void PredictOverlappedLuma(MPEG4DecoderState& s);

// ---- global motion compensation (Mpeg4Gmc.cpp) ----

// Predicts macroblock (column, row) of a GMC S-VOP from the forward reference warped by the
// VOP's trajectory, and the vector it records for the prediction of its neighbours.
void PredictGmcMacroblock(MPEG4DecoderState& s, int32_t column, int32_t row);
MotionVector GmcVector(const MPEG4DecoderState& s, int32_t column, int32_t row);

// ---- VOP loops ----

// The macroblock loop of P-VOPs, and of GMC S-VOPs with gmc (Mpeg4PVop.cpp).
int32_t DecodePredictedVop(MPEG4DecoderState& s, bool gmc);

}  // namespace UMC::mpeg4
