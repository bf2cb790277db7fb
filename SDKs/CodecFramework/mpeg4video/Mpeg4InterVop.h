// Inter VOP decoding: P-, B- and S-VOPs into s.dec.current from the references the frame driver
// points the state at, and the padding of a reference frame's borders.
#pragma once

#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

// Each decodes the whole VOP whose header was just parsed and returns 0, kMpeg4VopConcealed after
// a concealed error, or a negative PARSE_ code for a VOP it refuses (nothing written).
//
// P-VOP: predicts from s.dec.forward (padded); records every macroblock's vectors in s.dec.info.
int32_t DecodePVop(MPEG4DecoderState& s);
// B-VOP: predicts from s.dec.forward (older) and s.dec.backward (newer); reads the newer
// reference's records in s.dec.info (left as they are) and the temporal distances s.dec.trb and
// s.dec.trd. Needs s.dec.bInfo for its own records.
int32_t DecodeBVop(MPEG4DecoderState& s);
// S-VOP: GMC (as a P-VOP with warped macroblocks), or the static sprite s.dec.sprite warped whole.
int32_t DecodeSVop(MPEG4DecoderState& s);
// The I-VOP that carries a static sprite: decoded at the sprite's size into s.dec.sprite (the
// per-macroblock arrays must hold its macroblocks: s.dec.mbCapacity) and padded.
int32_t DecodeSpriteIVop(MPEG4DecoderState& s);

// Fills the borders of frame f from its edge samples (16 luma, 8 chroma), so that vectors may
// point up to a macroblock outside the picture. Called after every decoded reference VOP.
void PadReference(const MPEG4DecoderState& s, MPEG4FrameBuffer& f);
// The luma area the padding repeats outwards: the decoded macroblock area.
void PaddedExtent(const MPEG4DecoderState& s, const MPEG4FrameBuffer& f, int32_t& width,
                  int32_t& height);

}  // namespace UMC::mpeg4
