// VOP decoding shared by the intra and inter decoders: the intra macroblock texture decoder, the
// video packet and GOB header readers, error recovery and concealment.
#pragma once

#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

// How the texture of an intra macroblock is coded.
enum class IntraTexture { Combined, Partitioned, ShortHeader };

struct IntraMacroblock {
    int32_t index;  // macroblock number in the VOP
    int32_t cbp;    // bit 5 = block 0 ... bit 0 = block 5
    int32_t quant;
    int32_t useDcVlc;  // the DC has its own VLC
    int32_t acPred;
    int16_t dc[6];  // partitioned: the DC differentials read in the first partition
};

// Decodes the whole I-VOP into s.dec.current; returns 0 or kMpeg4VopConcealed.
int32_t DecodeIVop(MPEG4DecoderState& s);

// Decodes the six blocks of one intra macroblock into dst[b] (row step pitch[b]); 0 or an error.
int32_t DecodeIntraMacroblockTexture(MPEG4DecoderState& s, const IntraMacroblock& mb,
                                     uint8_t* const dst[6], const int32_t pitch[6],
                                     IntraTexture texture);

// Destinations of the six blocks of macroblock (column, row) in frame f; fieldDct places the
// luma blocks on alternate lines.
void BlockDestinations(const MPEG4FrameBuffer& f, int32_t column, int32_t row, bool fieldDct,
                       uint8_t* dst[6], int32_t pitch[6]);

// Marks every stored intra predictor not available and starts packet 0.
void ResetIntraPredictors(MPEG4DecoderState& s);
// Marks the predictors of one macroblock not available (inter and concealed macroblocks).
void ClearIntraPredictors(MPEG4DecoderState& s, int32_t index);

// The clipped quantiser after a dquant / dbquant step.
int32_t AddQuant(const MPEG4DecoderState& s, int32_t quant, int32_t delta);
// dquant (2 bits) as a quantiser step.
int32_t ReadDquant(Mpeg4BitReader& r);
// cbpy as the intra table gives it (inter macroblocks use 15 minus it); false for no code.
bool ReadCbpy(Mpeg4BitReader& r, int32_t& cbpy);

// Runs a coefficient kernel on the reader's position; false when the kernel failed or the
// position is no longer inside the data.
template <class Call>
bool WithPosition(Mpeg4BitReader& r, Call call) {
    if (r.PastEnd()) return false;
    const uint8_t* p = r.ptr;
    int off = r.bitOffset;
    const SpStatus st = call(&p, &off);
    r.ptr = const_cast<uint8_t*>(p);
    r.bitOffset = off;
    return st == 0 && !r.PastEnd();
}

// True when stuffing and a resync marker follow at the current position.
bool VideoPacketAhead(const MPEG4DecoderState& s);
// Reads a video packet header from its stuffing; sets *first and the running quantiser and starts
// a new packet. Returns 0 or PARSE_ERROR.
int32_t ReadVideoPacketHeader(MPEG4DecoderState& s, int32_t* first);

// A GOB header at the current position or the next byte boundary: its number, and its quantiser
// as the running one; false when none is there.
bool ReadGobHeader(MPEG4DecoderState& s, int32_t& gob);
// At macroblock `index` of a short-header picture: reads the GOB header when a GOB starts there
// (header), conceals GOBs found missing, and returns the macroblock to decode next; recovered:
// a bad header sent decoding on to a later GOB, whose header the caller reads again.
int32_t StartGob(MPEG4DecoderState& s, int32_t index, bool& recovered, bool& header);

// After an error at macroblock `from`: finds the next usable video packet (or GOB), conceals the
// macroblocks up to it and returns where decoding continues (mbCount when nothing is left).
int32_t RecoverFromError(MPEG4DecoderState& s, int32_t from);

// Copies macroblocks [from, to) from the forward reference into the current frame.
void ConcealMacroblocks(MPEG4DecoderState& s, int32_t from, int32_t to);

}  // namespace UMC::mpeg4
