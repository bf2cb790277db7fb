// Huge pages for large blocks where the system grants them on request (Linux transparent huge
// pages). Every fresh page costs a fault on its first touch, and faults are dear (in a virtual
// machine most of all): a 1080p picture is about 760 small pages but two huge ones. Windows only
// gives large pages to privileged processes, so there the calls do nothing.
#pragma once

#include <cstddef>

namespace qm {

inline constexpr size_t kHugePageSize = size_t(2) << 20;
// Blocks from this size on are placed and advised for huge pages; smaller ones would waste most
// of a huge page.
inline constexpr size_t kHugePageBlock = size_t(1) << 20;

// True where AdviseHugePages can do anything (and the sanitizers are not watching the heap's
// exact block sizes).
bool HugePagesOffered();

// Asks for huge pages behind [block, block + size); `block` is kHugePageSize-aligned and the
// range lies within one mapping. Only advice: nothing changes for the caller if it is ignored.
void AdviseHugePages(void* block, size_t size);

inline size_t RoundUpToHugePages(size_t size) {
    return (size + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
}

}  // namespace qm
