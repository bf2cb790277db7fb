#include "SDKs/CodecFramework/mpeg4video/Mpeg4FrameBuffer.h"

#include "primitives/Memory.h"

namespace UMC::mpeg4 {

namespace {

struct Layout {
    int32_t yPitch, uvPitch;
    size_t ySize, uvSize;
};

Layout LayoutFor(int32_t mbWidth, int32_t mbHeight) {
    Layout l;
    l.yPitch = (mbWidth + 2) * 16;
    l.uvPitch = l.yPitch / 2;
    l.ySize = size_t(l.yPitch) * size_t((mbHeight + 2) * 16);
    l.uvSize = l.ySize / 4;
    return l;
}

void PointPlanes(MPEG4FrameBuffer& f, uint8_t* base) {
    const Layout l = LayoutFor(f.mbWidth, f.mbHeight);
    f.yBase = base;
    f.uBase = base + l.ySize;
    f.vBase = f.uBase + l.uvSize;
    f.yPitch = l.yPitch;
    f.uvPitch = l.uvPitch;
    f.y = f.yBase + 16 * l.yPitch + 16;
    f.u = f.uBase + 8 * l.uvPitch + 8;
    f.v = f.vBase + 8 * l.uvPitch + 8;
}

}  // namespace

Status AllocateFrame(MemoryAllocator& allocator, int32_t mbWidth, int32_t mbHeight,
                     Mpeg4FrameMemory& f) {
    FreeFrame(allocator, f);
    if (mbWidth < 1 || mbHeight < 1 || int64_t(mbWidth) * mbHeight > kMpeg4MaxMacroblocks)
        return STATUS_ALLOC_FAILED;
    const Layout l = LayoutFor(mbWidth, mbHeight);
    const Status st = allocator.Alloc(&f.mid, l.ySize + 2 * l.uvSize, 0, 16);
    if (st != STATUS_OK) {
        f.mid = MID_INVALID;
        return st;
    }
    f.frame = MPEG4FrameBuffer{};
    f.frame.mbWidth = mbWidth;
    f.frame.mbHeight = mbHeight;
    if (const Status lst = LockFrame(allocator, f); lst != STATUS_OK) {
        FreeFrame(allocator, f);
        return lst;
    }
    spSet8u(0, f.frame.yBase, int(l.ySize));
    spSet8u(128, f.frame.uBase, int(2 * l.uvSize));
    return STATUS_OK;
}

Status LockFrame(MemoryAllocator& allocator, Mpeg4FrameMemory& f) {
    if (f.mid == MID_INVALID) return STATUS_OK;
    if (f.locked) return STATUS_OK;
    auto* base = static_cast<uint8_t*>(allocator.Lock(f.mid));
    if (!base) return STATUS_ALLOC_FAILED;
    PointPlanes(f.frame, base);
    f.locked = true;
    return STATUS_OK;
}

void UnlockFrame(MemoryAllocator& allocator, Mpeg4FrameMemory& f) {
    if (f.mid == MID_INVALID || !f.locked) return;
    allocator.Unlock(f.mid);
    f.locked = false;
}

void FreeFrame(MemoryAllocator& allocator, Mpeg4FrameMemory& f) {
    if (f.mid == MID_INVALID) return;
    UnlockFrame(allocator, f);
    allocator.Free(f.mid);
    f.mid = MID_INVALID;
    f.frame = MPEG4FrameBuffer{};
}

}  // namespace UMC::mpeg4
