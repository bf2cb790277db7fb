// Processor dispatch: one class index, chosen once from the processor's features, selects the
// implementation that every kernel call runs.
#pragma once

#include <atomic>
#include <cstdint>

#include "primitives/SpTypes.h"

// Feature mask bits.
enum : uint64_t {
    spFeatureMmx = 0x1,
    spFeatureSse = 0x2,
    spFeatureSse2 = 0x4,
    spFeatureSse3 = 0x8,
    spFeatureSsse3 = 0x10,
    spFeatureMovbe = 0x20,
    spFeatureSse41 = 0x40,
    spFeatureSse42 = 0x80,
    spFeatureAvx = 0x100,
    spFeatureAvxOsSave = 0x200,  // the OS saves the wide-vector state
    spFeatureAes = 0x400,
    spFeatureClmul = 0x800,
    spFeatureFamilyB = 0x1000,  // leaf 0x20000001 EDX bit 1 on family 0xB processors
};

// Chooses the processor class from the (cached) feature mask. Returns 0, or the warnings 36 (no
// SSE3: class 0) or 20 (not "GenuineIntel"), or the detection's error status.
SpStatus spInitProcessorDispatch();

// The detected feature mask, detecting on first use. -8 for a null out-pointer.
SpStatus spGetProcessorFeatures(uint64_t* mask);

// True when every bit of mask is in the enabled feature mask of the chosen class.
bool spIsFeatureEnabled(uint64_t mask);

// Size in bytes of the largest data or unified cache (cached). -8 for a null out-pointer; 36
// when the processor gives no cache data (not "GenuineIntel", highest leaf below 2); 37 when
// it describes no data cache.
SpStatus spGetLargestCacheSize(int32_t* size);

// When 0, class 5 (wide vectors) is never chosen; takes effect at the next initialisation.
void spSetWideVectorPermission(int32_t permitted);

int32_t spGetProcessorClass();  // 0..5
int32_t spGetLowPowerFlag();    // 1 only when class 3 was chosen

namespace sp::detail {
// The class index, written by spInitProcessorDispatch and read by every kernel entry.
extern std::atomic<int32_t> g_processorClass;
void ResetDispatchState();
void SetSource(const struct SpCpuidSource* source);
}  // namespace sp::detail
