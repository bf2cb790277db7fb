// The cached reader of the layer I and II sample loops must read exactly what the plain reader
// reads: from any start bit, in any field widths, up to and past the end of the data (zeros there,
// with the position still counting, so that overrun checks keep working).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "SDKs/CodecFramework/mpegaudio/MpaBits.h"
#include "tests/support/Random.h"

namespace {

using UMC::mpa::BitReader;
using UMC::mpa::CachedBitReader;

TEST(MpegAudioCachedBitReader, AgreesWithThePlainReaderUpToAndPastTheEnd) {
    qm::test::Rng rng(71);
    // Short buffers exercise the byte-wise refill near the end, long ones the 8-byte loads.
    for (size_t size : {0u, 1u, 3u, 7u, 8u, 9u, 15u, 64u, 333u}) {
        const std::vector<uint8_t> data = rng.Bytes(size);
        for (int trial = 0; trial < 40; ++trial) {
            const size_t start = size ? size_t(rng.Int(0, int(size * 8))) : 0;
            SCOPED_TRACE(testing::Message() << "size " << size << ", start bit " << start);
            BitReader plain;
            plain.Set(data.data(), size, start);
            CachedBitReader cached(data.data(), size, start);
            // Until well past the end: every read there must give zero bits.
            // Single reads, and groups of up to 56 bits taken after one fill.
            while (plain.pos < size * 8 + 96) {
                if (rng.Bool()) {
                    const int n = rng.Int(1, 25);
                    ASSERT_EQ(cached.Get(n), plain.Get(n)) << "width " << n << " at " << plain.pos;
                } else {
                    cached.Fill();
                    for (int left = 56; left > 0;) {
                        const int n = std::min(rng.Int(1, 25), left);
                        left -= n;
                        ASSERT_EQ(cached.Take(n), plain.Get(n))
                            << "taken " << n << " at " << plain.pos;
                    }
                }
                ASSERT_EQ(cached.Pos(), plain.pos);
            }
        }
    }
}

TEST(MpegAudioCachedBitReader, ReadsWholeWords) {
    const std::vector<uint8_t> data = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11};
    CachedBitReader r(data.data(), data.size(), 4);
    EXPECT_EQ(r.Get(32), 0x23456789u);
    EXPECT_EQ(r.Get(32), 0xABCDEF01u);
    EXPECT_EQ(r.Get(8), 0x10u);  // the last nibble, then zeros
    EXPECT_EQ(r.Pos(), 76u);
}

}  // namespace
