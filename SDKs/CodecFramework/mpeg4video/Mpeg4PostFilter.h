// The MPEG-4 post-filter of the output picture (ISO/IEC 14496-2 Annex F): deblocking across the
// 8x8 block edges, then deringing inside the blocks. Each step reads one frame and writes a
// separate one, so references stay unfiltered.
#pragma once

#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

struct Mpeg4PostFilterSettings {
    uint8_t deblock[3] = {0, 0, 0};  // per plane: Y, U, V
    int32_t thr1 = 2;
    int32_t thr2 = 6;
    uint8_t dering[3] = {0, 0, 0};

    bool AnyDeblocking() const { return deblock[0] || deblock[1] || deblock[2]; }
    bool AnyDeringing() const { return dering[0] || dering[1] || dering[2]; }
};

// Copies the planes of src into dst (same macroblock size), deblocking those enabled. width and
// height are the visible luma size; the filtered area is it rounded up to 8 (chroma: half).
void DeblockFrame(const MPEG4FrameBuffer& src, MPEG4FrameBuffer& dst, int32_t width, int32_t height,
                  const Mpeg4PostFilterSettings& settings, int32_t quant);

// Copies the planes of src into dst, deringing those enabled block by block (luma thresholds per
// macroblock). src's border must be padded: the filter reads one sample around each block.
void DeringFrame(const MPEG4FrameBuffer& src, MPEG4FrameBuffer& dst, int32_t width, int32_t height,
                 const Mpeg4PostFilterSettings& settings, int32_t quant);

}  // namespace UMC::mpeg4
