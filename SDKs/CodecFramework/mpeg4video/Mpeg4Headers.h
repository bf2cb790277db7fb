// Parsers of the MPEG-4 Part 2 stream headers. Each reads from the state's bit reader and returns
// PARSE_OK, PARSE_ERROR or PARSE_UNSUPPORTED; none restores the position on failure.
#pragma once

#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

// Entered after the start code value 0xB0.
int32_t ParseVisualObjectSequence(MPEG4DecoderState& s);
// Entered after 0xB5.
int32_t ParseVisualObject(MPEG4DecoderState& s);
// Entered at the 32-bit start code 0x00000120..0x0000012F, or at a short-header marker.
int32_t ParseVideoObjectLayer(MPEG4DecoderState& s);
// Entered after 0xB3.
int32_t ParseGroupOfVops(MPEG4DecoderState& s);
// Entered after 0xB6, or 16 bits into a short-header marker.
int32_t ParseVopHeader(MPEG4DecoderState& s);
// Up to 64 values into a raster-order matrix (see the zigzag placement rule in the .cpp).
void ParseQuantMatrix(Mpeg4BitReader& r, uint8_t* matrix);
int32_t ParseSpriteTrajectory(MPEG4DecoderState& s);
int32_t ParseBrightnessChangeFactor(Mpeg4BitReader& r);

// Marker length of the video packet resync marker for the current VOP.
int32_t ResyncMarkerBits(const MPEG4DecoderState& s);

// Builds the two dequantisation specifications from the VOL.
int32_t BuildQuantSpecs(MPEG4DecoderState& s);

}  // namespace UMC::mpeg4
