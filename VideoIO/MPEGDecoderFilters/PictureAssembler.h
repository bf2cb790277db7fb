// Gathers an MPEG-1/2 video elementary stream, cut into input samples at any byte, into whole
// coded pictures. The decoder takes the slices it is handed as the whole of a picture, so a
// picture split across samples must reach it in one piece. A picture ends where the next
// picture, group or sequence header begins, after a sequence end code, or at the end of input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <new>
#include <vector>

#include "platform/dshow/DShow.h"
#include "primitives/Memory.h"

namespace qm_MPEGDecoderFilters {

// The kernels' allocator, which puts blocks of a megabyte or more on huge pages: the gathering
// buffer is touched afresh each time it grows, a page fault per 4 KiB otherwise.
template <class T>
struct KernelAllocator {
    using value_type = T;
    KernelAllocator() = default;
    template <class U>
    KernelAllocator(const KernelAllocator<U>&) {}
    T* allocate(size_t n) {
        if (n > size_t(INT32_MAX) / sizeof(T)) throw std::bad_alloc();
        void* p = spAlloc8u(int(n * sizeof(T)));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { spFree(p); }
    template <class U>
    bool operator==(const KernelAllocator<U>&) const {
        return true;
    }
};

class PictureAssembler {
public:
    struct Unit {
        const uint8_t* data;
        size_t size;
        // The times of the sample in which the picture's start code begins, when that sample
        // carries times and no earlier picture began in it.
        bool timed;
        REFERENCE_TIME start, stop;
    };

    // One input sample's bytes and times.
    void Append(const uint8_t* data, size_t size, bool timed, REFERENCE_TIME start,
                REFERENCE_TIME stop);
    // The next complete picture with the headers in front of it; with `final` what remains is
    // one too. The data stay valid until the next call.
    bool Next(Unit* unit, bool final);
    // Seeks and flushes: nothing kept goes to the decoder.
    void Clear();
    size_t Pending() const { return m_end - m_begin; }

    // Bytes without a picture end are handed on at this size (garbage or a broken stream).
    static constexpr size_t kMaxPicture = 8u << 20;

private:
    void Discard();
    void Cut(size_t end, Unit* unit);

    // m_bytes[m_begin, m_end) waits; zero bytes follow so that the bitstream reader may look a
    // little past the end of a picture.
    std::vector<uint8_t, KernelAllocator<uint8_t>> m_bytes;
    size_t m_begin = 0, m_end = 0;
    size_t m_taken = 0;    // bytes handed out by the last Next, dropped on the next call
    size_t m_scanned = 0;  // start codes before this offset have been looked at
    bool m_inPicture = false;
    size_t m_pictureAt = 0;  // offset of the current picture's start code
    uint64_t m_base = 0;     // stream offset of m_bytes[0]
    struct Stamp {
        uint64_t offset;
        bool timed;
        REFERENCE_TIME start, stop;
    };
    std::deque<Stamp> m_stamps;  // samples whose first picture has not been handed out yet
};

}  // namespace qm_MPEGDecoderFilters
