// The code tables typed in from ISO/IEC 11172-3 must form complete prefix codes: a mistyped code
// or length breaks one of the two properties, even where no test stream uses that entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "SDKs/CodecFramework/mpegaudio/MpaTables.h"

namespace {

using namespace UMC::mpa;

void ExpectCompletePrefixCode(const uint16_t* codes, const uint8_t* lengths, int n) {
    double kraft = 0.0;
    std::vector<std::string> words;
    for (int i = 0; i < n; ++i) {
        ASSERT_GT(lengths[i], 0);
        ASSERT_LE(lengths[i], 19);
        ASSERT_EQ(codes[i] >> lengths[i], 0) << "entry " << i << " longer than its length";
        kraft += 1.0 / double(1u << lengths[i]);
        std::string w;
        for (int b = lengths[i] - 1; b >= 0; --b) w += char('0' + ((codes[i] >> b) & 1));
        words.push_back(w);
    }
    EXPECT_DOUBLE_EQ(kraft, 1.0);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            if (i != j) {
                ASSERT_NE(words[j].compare(0, words[i].size(), words[i]), 0) << i << " " << j;
            }
}

TEST(MpegAudioTables, HuffmanTablesAreCompletePrefixCodes) {
    for (int t = 1; t < 32; ++t) {
        SCOPED_TRACE(t);
        const HuffTable& h = kHuffTables[t];
        if (t == 4 || t == 14) {
            EXPECT_EQ(h.size, 0);
            continue;
        }
        ExpectCompletePrefixCode(h.codes, h.lengths, h.size * h.size);
    }
    for (int q = 0; q < 2; ++q) {
        uint16_t codes[16];
        for (int i = 0; i < 16; ++i) codes[i] = kQuadCodes[q][i];
        ExpectCompletePrefixCode(codes, kQuadLengths[q], 16);
    }
}

TEST(MpegAudioTables, Layer2AllocationTables) {
    const int sblimits[5] = {27, 30, 8, 12, 30};
    for (int t = 0; t < 5; ++t) {
        const AllocTable& a = Layer2Table(t);
        EXPECT_EQ(a.sblimit, sblimits[t]);
        for (int sb = 0; sb < a.sblimit; ++sb) {
            ASSERT_GE(a.nbal[sb], 2);
            EXPECT_EQ(a.cls[sb][0], -1);  // allocation 0: no samples
            for (int k = 1; k < (1 << a.nbal[sb]); ++k) {
                ASSERT_GE(a.cls[sb][k], 0);
                if (k > 1) {
                    EXPECT_GT(kQuantClasses[a.cls[sb][k]].steps,
                              kQuantClasses[a.cls[sb][k - 1]].steps);
                }
            }
        }
    }
}

}  // namespace
