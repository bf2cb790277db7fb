#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "primitives/MPEG4Coding.h"

namespace UMC::mpeg4 {

void PredictGmcMacroblock(MPEG4DecoderState& s, int32_t column, int32_t row) {
    const MPEG4FrameBuffer& ref = *s.dec.forward;
    const MPEG4FrameBuffer& cur = *s.dec.current;
    const VcRect luma{column * 16, row * 16, 16, 16};
    const VcRect chroma{column * 8, row * 8, 8, 8};
    const ptrdiff_t lumaOffset = ptrdiff_t(row) * 16 * cur.yPitch + column * 16;
    const ptrdiff_t chromaOffset = ptrdiff_t(row) * 8 * cur.uvPitch + column * 8;
    vcWarpLuma(ref.y, ref.yPitch, cur.y + lumaOffset, cur.yPitch, &luma, s.dec.warpSpec);
    vcWarpChroma(ref.u, ref.v, ref.uvPitch, cur.u + chromaOffset, cur.v + chromaOffset, cur.uvPitch,
                 &chroma, s.dec.warpSpec);
}

MotionVector GmcVector(const MPEG4DecoderState& s, int32_t column, int32_t row) {
    VcMotionVector mv{0, 0};
    vcWarpGetMotionVector(column, row, &mv, s.dec.warpSpec);
    return {mv.dx, mv.dy};
}

}  // namespace UMC::mpeg4
