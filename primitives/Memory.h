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

// The allocation functions behind spAlloc8u and spFree (the C runtime's by default).
struct SpMemoryFunctions {
    void* (*allocate)(size_t);
    void* (*allocateZeroed)(size_t, size_t);
    void* (*reallocate)(void*, size_t);
    void (*release)(void*);
};
const SpMemoryFunctions& spGetMemoryFunctions();
