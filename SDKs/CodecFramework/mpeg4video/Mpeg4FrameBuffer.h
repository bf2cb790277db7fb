// Frame buffers of the MPEG-4 frame driver: one allocation of the codec's memory allocator per
// frame holding the three padded planes, locked only while a call works on it.
#pragma once

#include "SDKs/CodecFramework/core/MemoryAllocator.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4DecoderState.h"

namespace UMC::mpeg4 {

// A frame and its memory. The plane pointers of `frame` are valid only while it is locked.
struct Mpeg4FrameMemory {
    MPEG4FrameBuffer frame{};
    MemID mid = MID_INVALID;
    bool locked = false;
};

// Allocates a frame of mbWidth x mbHeight macroblocks with its border, filled with luma 0 and
// chroma 128, and leaves it locked. STATUS_OK or the allocator's failure.
Status AllocateFrame(MemoryAllocator& allocator, int32_t mbWidth, int32_t mbHeight,
                     Mpeg4FrameMemory& f);
// Locks the frame's memory and points its planes at it (the allocator may move unlocked blocks).
Status LockFrame(MemoryAllocator& allocator, Mpeg4FrameMemory& f);
void UnlockFrame(MemoryAllocator& allocator, Mpeg4FrameMemory& f);
void FreeFrame(MemoryAllocator& allocator, Mpeg4FrameMemory& f);

}  // namespace UMC::mpeg4
