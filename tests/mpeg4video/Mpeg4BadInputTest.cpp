// Inter streams the frame driver must survive: B-VOPs before their references, a VOL that
// changes the picture size mid-stream, and truncated or damaged VOPs. Nothing may crash or touch
// memory outside the frames (the sanitizer builds watch); what is shown follows the driver's rules.
#include <gtest/gtest.h>

#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4DriverSupport.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg4;

class Mpeg4BadInput : public ::testing::Test {
protected:
    void SetUp() override { spInitProcessorDispatch(); }
};

// Offsets of the VOP start codes.
std::vector<size_t> VopStarts(const std::vector<uint8_t>& s) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 4 < s.size(); ++i)
        if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xB6) starts.push_back(i);
    return starts;
}

// The stream's headers followed by its VOPs `keep` (by decoding-order index).
// VOP start codes and short-header picture markers: the most pictures a stream can give.
size_t PictureStarts(const std::vector<uint8_t>& s) {
    size_t n = 0;
    for (size_t i = 0; i + 3 < s.size(); ++i)
        n += s[i] == 0 && s[i + 1] == 0 &&
             ((s[i + 2] == 1 && s[i + 3] == 0xB6) || (s[i + 2] & 0xFC) == 0x80);
    return n;
}

std::vector<uint8_t> WithVops(const std::vector<uint8_t>& s, const std::vector<int>& keep) {
    const std::vector<size_t> starts = VopStarts(s);
    std::vector<uint8_t> out(s.begin(), s.begin() + ptrdiff_t(starts[0]));
    for (int k : keep) {
        const size_t end = size_t(k) + 1 < starts.size() ? starts[size_t(k) + 1] : s.size();
        out.insert(out.end(), s.begin() + ptrdiff_t(starts[size_t(k)]), s.begin() + ptrdiff_t(end));
    }
    return out;
}

std::vector<int32_t> Types(const DriverRun& run) {
    std::vector<int32_t> types;
    for (const Picture& p : run.pictures) types.push_back(p.frameType);
    return types;
}

// inter_b2 in decoding order: I0 I3 B1 B2 P6 B4 B5 P9 B7 B8.
TEST_F(Mpeg4BadInput, BVopsBeforeTheirReferencesAreNotShown) {
    const std::vector<uint8_t> stream = ReadFile(Fixture("inter_b2.m4v"));
    ASSERT_EQ(VopStarts(stream).size(), 10u);
    using UMC::B_PICTURE, UMC::I_PICTURE, UMC::P_PICTURE;
    const struct {
        std::vector<int> vops;
        std::vector<int32_t> shown;
    } kCases[] = {
        // Entered at the first B-VOP: no reference at all, then only one (P6, predicted from the
        // initial black picture) for B4 and B5.
        {{2, 3, 4, 5, 6, 7, 8, 9}, {P_PICTURE, B_PICTURE, B_PICTURE, P_PICTURE}},
        // I3 lost: B1 and B2 have one reference only (direct mode has no co-located picture).
        {{0, 2, 3, 4, 5, 6, 7, 8, 9},
         {I_PICTURE, B_PICTURE, B_PICTURE, P_PICTURE, B_PICTURE, B_PICTURE, P_PICTURE}},
        // Only B-VOPs.
        {{2, 3, 5, 6, 8, 9}, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.vops.size());
        UMC::MPEG4VideoDecoder decoder;
        ASSERT_EQ(InitWith(decoder, stream, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
        const DriverRun run = DecodeThroughDriver(decoder, WithVops(stream, c.vops), -1.0, true);
        EXPECT_EQ(Types(run), c.shown);
        for (const Picture& p : run.pictures) EXPECT_EQ(p.status, UMC::STATUS_OK);
    }
}

// A VOL with another size mid-stream (smaller, then larger): new frames, and the second layer's
// pictures exactly those of a fresh decoder; the first layer's held-back picture goes with its
// frames. The output keeps one size, as a filter's does (the chain writes what the picture
// covers).
TEST_F(Mpeg4BadInput, VolChangingTheSizeMidStream) {
    const std::vector<uint8_t> a = ReadFile(Fixture("inter_p.m4v"));           // 64x48
    const std::vector<uint8_t> b = ReadFile(Fixture("inter_gop_closed.m4v"));  // 48x32
    for (const auto& [first, second] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        auto alone = [](const std::vector<uint8_t>& s) {
            UMC::MPEG4VideoDecoder decoder;
            EXPECT_EQ(InitWith(decoder, s, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
            return DecodeThroughDriver(decoder, s, -1.0, true, true, {64, 48});
        };
        const DriverRun one = alone(*first), two = alone(*second);
        std::vector<uint8_t> joined = *first;
        joined.insert(joined.end(), second->begin(), second->end());
        UMC::MPEG4VideoDecoder decoder;
        ASSERT_EQ(InitWith(decoder, *first, UMC::FLAG_VDEC_REORDER), UMC::STATUS_OK);
        const DriverRun run = DecodeThroughDriver(decoder, joined, -1.0, true, true, {64, 48});
        ASSERT_EQ(run.pictures.size(), one.pictures.size() - 1 + two.pictures.size());
        for (size_t i = 0; i < run.pictures.size(); ++i) {
            const bool inFirst = i + 1 < one.pictures.size();
            const Picture& want =
                inFirst ? one.pictures[i] : two.pictures[i - (one.pictures.size() - 1)];
            ASSERT_EQ(run.pictures[i].bytes, want.bytes) << i;
        }
        EXPECT_EQ(decoder.State().vol.width, second == &a ? 64 : 48);
    }
}

// Every VOP of every inter stream cut short (one VOP per sample), and random damage: each picture
// shown is whole or marked damaged, and decoding carries on.
TEST_F(Mpeg4BadInput, TruncatedAndDamagedVopsAreSurvived) {
    qm::test::Rng rng(0x4D46);
    for (const char* file :
         {"inter_b2.m4v", "inter_mv4.m4v", "inter_partitioned.m4v", "inter_resync.m4v",
          "inter_qpel.m4v", "inter_interlaced.m4v", "inter_odd74x42.m4v", "xvid_qpel_b.m4v",
          "xvid_gmc.m4v", "xvid_gmc_rotate2.m4v", "h263_p.h263"}) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> clean = ReadFile(Fixture(file));
        for (int trial = 0; trial < 12; ++trial) {
            std::vector<uint8_t> s;
            if (trial < 4 && file[0] != 'h') {
                // Each VOP keeps its start and loses a random part of its end.
                const std::vector<size_t> starts = VopStarts(clean);
                s.assign(clean.begin(), clean.begin() + ptrdiff_t(starts[0]));
                for (size_t k = 0; k < starts.size(); ++k) {
                    const size_t end = k + 1 < starts.size() ? starts[k + 1] : clean.size();
                    const size_t keep = size_t(rng.Int(5, int(end - starts[k])));
                    s.insert(s.end(), clean.begin() + ptrdiff_t(starts[k]),
                             clean.begin() + ptrdiff_t(starts[k] + keep));
                }
            } else {
                s = clean;
                for (int e = rng.Int(1, 10); e > 0; --e)
                    s[size_t(rng.Int(0, int(s.size()) - 1))] ^= uint8_t(rng.Int(1, 255));
                if (trial % 3 == 0) s.resize(size_t(rng.Int(1, int(s.size()))));
            }
            for (int32_t flags : {0, int32_t(UMC::FLAG_VDEC_REORDER)}) {
                UMC::MPEG4VideoDecoder decoder;
                ASSERT_EQ(InitWith(decoder, clean, flags), UMC::STATUS_OK);
                const DriverRun run = DecodeThroughDriver(decoder, s, -1.0, trial % 2 == 0);
                for (const Picture& p : run.pictures)
                    EXPECT_TRUE(p.status == UMC::STATUS_OK || p.status == UMC::kMpeg4FrameDamaged);
                EXPECT_LE(run.pictures.size(), PictureStarts(s) + 1);
            }
        }
    }
}

}  // namespace
