// Input that ends inside a slice, with nothing readable after it: umc-decode hands the decoder its
// access units straight from the mapped file, so the last one ends where the mapping ends. The
// bytes are placed against an inaccessible page, so any read past their end faults here instead
// of passing unnoticed on padding or a neighbouring mapping.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/win32/VirtualMemory.h"
#include "tests/mpeg2video/Mpeg2TestSupport.h"
#include "tests/support/Paths.h"

namespace {

using namespace qm::test::mpeg2;

// A copy of some bytes that ends exactly where a page without access begins.
class GuardedCopy {
public:
    explicit GuardedCopy(const uint8_t* bytes, size_t size) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        const size_t page = info.dwPageSize;
        const size_t readable = (size + page - 1) / page * page;
        m_base = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, readable + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!m_base) return;
        if (!VirtualFree(m_base + readable, page, MEM_DECOMMIT)) return;
        m_data = m_base + readable - size;
        std::memcpy(m_data, bytes, size);
        m_size = size;
    }
    ~GuardedCopy() {
        if (m_base) VirtualFree(m_base, 0, MEM_RELEASE);
    }
    GuardedCopy(const GuardedCopy&) = delete;
    GuardedCopy& operator=(const GuardedCopy&) = delete;

    const uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    uint8_t* m_base = nullptr;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
};

// Start code offsets (of the 00 00 01 prefix) of the slices after the stream's last picture start.
std::vector<size_t> LastPictureSlices(const std::vector<uint8_t>& s) {
    std::vector<size_t> slices;
    for (size_t i = 0; i + 3 < s.size(); ++i) {
        if (s[i] || s[i + 1] || s[i + 2] != 1) continue;
        if (s[i + 3] == 0) slices.clear();
        if (s[i + 3] >= 1 && s[i + 3] <= 0xAF) slices.push_back(i);
    }
    return slices;
}

// Decodes the first `size` bytes of a stream from a guarded copy, unit by unit as umc-decode does.
DecodeResult DecodeCut(const std::vector<uint8_t>& stream, size_t size, int threads) {
    GuardedCopy copy(stream.data(), size);
    EXPECT_EQ(copy.Size(), size);
    if (copy.Size() != size) return {};
    return Decode(copy.Data(), copy.Size(), threads);
}

TEST(Mpeg2InputEnd, StreamsCutInsideTheirLastSliceNeverReadPastTheirEnd) {
    // Frame and field pictures, MPEG-1 and 4:2:2: each slice decoder meets the end.
    for (const char* name :
         {"mpeg2_open_gop", "mpeg1_bframes", "mpeg2_422", "mpeg2_interlaced_tff"}) {
        SCOPED_TRACE(name);
        const auto stream =
            ReadFile(qm::test::FixtureDir() / "mpeg2" / (std::string(name) + ".m2v"));
        ASSERT_FALSE(stream.empty());
        const std::vector<size_t> slices = LastPictureSlices(stream);
        ASSERT_GE(slices.size(), 2u);
        const DecodeResult whole = Decode(stream, 1);
        ASSERT_FALSE(whole.pictures.empty());

        // Cuts inside the start code, in the slice header, in the first macroblock and deeper,
        // in the first and the last slice of the picture.
        std::vector<size_t> cuts;
        for (size_t slice : {slices[1], slices.back()}) {
            const size_t next = slice == slices.back() ? stream.size() : slice + 64;
            for (size_t at : {slice + 2, slice + 3, slice + 4, slice + 5, slice + 7, slice + 12,
                              (slice + next) / 2, next - 1})
                if (at > slice && at < stream.size()) cuts.push_back(at);
        }
        for (size_t cut : cuts) {
            SCOPED_TRACE(cut);
            const DecodeResult one = DecodeCut(stream, cut, 1);
            // Every picture is still shown; only the one that lost its end may differ.
            ASSERT_EQ(one.pictures.size(), whole.pictures.size());
            int differing = 0;
            for (size_t k = 0; k < one.pictures.size(); ++k)
                differing += one.pictures[k].planes != whole.pictures[k].planes;
            EXPECT_LE(differing, 1);
            const DecodeResult two = DecodeCut(stream, cut, 2);
            ASSERT_EQ(two.pictures.size(), one.pictures.size());
            for (size_t k = 0; k < one.pictures.size(); ++k) {
                EXPECT_EQ(two.pictures[k].planes, one.pictures[k].planes) << k;
                EXPECT_EQ(two.pictures[k].damaged, one.pictures[k].damaged) << k;
            }
        }
    }
}

}  // namespace
