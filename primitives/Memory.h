// Memory utilities: aligned allocation, fills, copies and region copies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/SpTypes.h"

// 32-byte aligned allocation of n bytes (null for n < 1); release with spFree.
uint8_t* spAlloc8u(int n);
// 32-byte aligned allocation of n 16-bit elements (2n bytes).
int16_t* spAlloc16s(int n);
// Releases memory from spAlloc8u / spAlloc16s; null is ignored.
void spFree(void* p);

SpStatus spCopy8u(const uint8_t* src, uint8_t* dst, int len);
SpStatus spSet8u(uint8_t value, uint8_t* dst, int len);
SpStatus spSet16s(int16_t value, int16_t* dst, int len);
// Copies a width x height region; -14 when a step is below 1. When both steps equal the width the
// region is one run, and runs above 1 MiB bypass the cache.
SpStatus spCopyRegion8u(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep, SpSize roi);

// Where a region copy's stores go. spCopyRegion8u decides by size; a caller that knows who reads
// the copy next says so with spCopyRegionStores8u.
enum SpCopyStores : int32_t {
    spCopyStoresBySize = 0,    // as spCopyRegion8u
    spCopyStoresCached = 1,    // read again soon: a picture handed on, a reference
    spCopyStoresStreamed = 2,  // not read for a while: past the cache, which keeps what it holds
};
// spCopyRegion8u with the stores chosen; -5 for another `stores` value.
SpStatus spCopyRegionStores8u(const uint8_t* src, int srcStep, uint8_t* dst, int dstStep,
                              SpSize roi, SpCopyStores stores);

// The allocation functions behind spAlloc8u and spFree (the C runtime's by default).
struct SpMemoryFunctions {
    void* (*allocate)(size_t);
    void* (*allocateZeroed)(size_t, size_t);
    void* (*reallocate)(void*, size_t);
    void (*release)(void*);
};
const SpMemoryFunctions& spGetMemoryFunctions();
