#include <algorithm>
#include <cstdint>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Tables.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "primitives/MPEG4Coding.h"

namespace UMC::mpeg4 {

namespace {

// A 16-byte-aligned warping set-up on the stack.
struct WarpBuffer {
    alignas(16) uint8_t bytes[kVcWarpSpecSize + 16];
};

bool InitWarp(const MPEG4DecoderState& s, void* buffer, int mode, const VcRect& ref) {
    int du[4], dv[4];
    for (int i = 0; i < 4; ++i) {
        du[i] = s.vop.du[i];
        dv[i] = s.vop.dv[i];
    }
    const VcRect vop{0, 0, s.vol.width, s.vol.height};
    return vcWarpInit(buffer, du, dv, s.vol.spriteWarpingPoints, s.vol.spriteWarpingAccuracy, mode,
                      std::max(1, s.vop.fcodeForward), s.vol.quarterSample, s.vop.roundingType,
                      &vop, &ref) == 0;
}

// A static sprite S-VOP: the whole sprite warped into the current frame.
int32_t DecodeSpriteVop(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    if (!d.sprite || !d.current || d.sprite == d.current) return PARSE_ERROR;
    const VcRect ref{s.vol.spriteLeft, s.vol.spriteTop, s.vol.spriteWidth, s.vol.spriteHeight};
    WarpBuffer buffer;
    if (!InitWarp(s, buffer.bytes, vcSpriteStatic, ref)) return PARSE_ERROR;
    const MPEG4FrameBuffer& sprite = *d.sprite;
    const MPEG4FrameBuffer& cur = *d.current;
    const VcRect luma{0, 0, s.vol.width, s.vol.height};
    const VcRect chroma{0, 0, (s.vol.width + 1) / 2, (s.vol.height + 1) / 2};
    vcWarpLuma(sprite.y, sprite.yPitch, cur.y, cur.yPitch, &luma, buffer.bytes);
    if (s.vol.spriteBrightnessChange && s.vop.brightnessChangeFactor)
        vcSpriteBrightness(cur.y, cur.yPitch, s.vol.width, s.vol.height,
                           s.vop.brightnessChangeFactor);
    vcWarpChroma(sprite.u, sprite.v, sprite.uvPitch, cur.u, cur.v, cur.uvPitch, &chroma,
                 buffer.bytes);
    return 0;
}

}  // namespace

int32_t DecodeSpriteIVop(MPEG4DecoderState& s) {
    Mpeg4VopState& d = s.dec;
    if (!d.sprite || !d.info) return PARSE_ERROR;
    MPEG4FrameBuffer& sprite = *d.sprite;
    const int32_t mbWidth = (s.vol.spriteWidth + 15) / 16,
                  mbHeight = (s.vol.spriteHeight + 15) / 16;
    if (mbWidth < 1 || mbHeight < 1 || mbWidth > sprite.mbWidth || mbHeight > sprite.mbHeight ||
        mbWidth * mbHeight > d.mbCapacity)
        return PARSE_ERROR;
    // The VOP is the sprite: for its decoding and padding the VOP geometry is the sprite's, and
    // there is no reference to conceal from.
    const Mpeg4VopState saved = d;
    const int32_t width = s.vol.width, height = s.vol.height;
    d.mbWidth = mbWidth;
    d.mbHeight = mbHeight;
    d.mbCount = mbWidth * mbHeight;
    d.macroblockNumberBits = BitsFor(d.mbCount);
    d.current = &sprite;
    d.forward = d.backward = nullptr;
    s.vol.width = s.vol.spriteWidth;
    s.vol.height = s.vol.spriteHeight;
    const int32_t result = DecodeIVop(s);
    PadReference(s, sprite);
    s.vol.width = width;
    s.vol.height = height;
    d.mbWidth = saved.mbWidth;
    d.mbHeight = saved.mbHeight;
    d.mbCount = saved.mbCount;
    d.macroblockNumberBits = saved.macroblockNumberBits;
    d.current = saved.current;
    d.forward = saved.forward;
    d.backward = saved.backward;
    return result;
}

int32_t DecodeSVop(MPEG4DecoderState& s) {
    if (s.vol.spriteEnable == MPEG4_SPRITE_STATIC) return DecodeSpriteVop(s);
    if (s.vol.spriteEnable != MPEG4_SPRITE_GMC) return PARSE_ERROR;
    if (!s.dec.forward) return PARSE_ERROR;
    const VcRect ref{0, 0, s.vol.width, s.vol.height};
    WarpBuffer buffer;
    if (!InitWarp(s, buffer.bytes, vcSpriteGmc, ref)) return PARSE_ERROR;
    s.dec.warpSpec = buffer.bytes;
    const int32_t result = DecodePredictedVop(s, true);
    s.dec.warpSpec = nullptr;
    return result;
}

}  // namespace UMC::mpeg4
