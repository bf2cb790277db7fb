#include <algorithm>
#include <cstring>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"

namespace UMC::mpeg4 {

namespace {

// Replicates the edge samples of a width x height area at `origin` outwards to the whole plane:
// `border` samples left and above, everything right of and below the area up to the far border.
void PadPlane(uint8_t* origin, int32_t pitch, int32_t width, int32_t height, int32_t border,
              int32_t alignedWidth, int32_t alignedHeight) {
    if (width < 1 || height < 1) return;
    const int32_t right = alignedWidth + border - width;  // samples right of the area
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = origin + y * pitch;
        std::memset(row - border, row[0], size_t(border));
        std::memset(row + width, row[width - 1], size_t(right));
    }
    const size_t rowBytes = size_t(alignedWidth + 2 * border);
    const uint8_t* first = origin - border;
    const uint8_t* last = origin + (height - 1) * pitch - border;
    for (int32_t y = 1; y <= border; ++y) std::memcpy(origin - y * pitch - border, first, rowBytes);
    for (int32_t y = height; y < alignedHeight + border; ++y)
        std::memcpy(origin + y * pitch - border, last, rowBytes);
}

}  // namespace

void PaddedExtent(const MPEG4DecoderState&, const MPEG4FrameBuffer& f, int32_t& width,
                  int32_t& height) {
    // The decoded VOP is the whole macroblock area (the VOL size is only its displayable part,
    // left-aligned in it), and motion vectors reach beyond the decoded area, not beyond the
    // displayable one.
    width = f.mbWidth * 16;
    height = f.mbHeight * 16;
}

void PadReference(const MPEG4DecoderState& s, MPEG4FrameBuffer& f) {
    const int32_t alignedWidth = f.mbWidth * 16, alignedHeight = f.mbHeight * 16;
    int32_t width = 0, height = 0;
    PaddedExtent(s, f, width, height);
    PadPlane(f.y, f.yPitch, width, height, 16, alignedWidth, alignedHeight);
    const int32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
    PadPlane(f.u, f.uvPitch, cw, ch, 8, alignedWidth / 2, alignedHeight / 2);
    PadPlane(f.v, f.uvPitch, cw, ch, 8, alignedWidth / 2, alignedHeight / 2);
}

}  // namespace UMC::mpeg4
