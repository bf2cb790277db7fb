// The post-filter: the deblocking mode decision at its thresholds, the per-plane switches of
// deblocking and deringing, and output pictures filtered while the references stay as decoded.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4FrameBuffer.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4PostFilter.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace {

using namespace qm::test::mpeg4;

class Mpeg4PostFilter : public ::testing::Test {
protected:
    void SetUp() override { spInitProcessorDispatch(); }
};

// A 32x32 picture (chroma 16x16) whose rows all follow one profile of the column, so only the
// vertical block edges have anything to filter.
struct ProfilePicture {
    UMC::mpeg4::Mpeg4FrameMemory src, dst;
    UMC::DefaultMemoryAllocator allocator;
    template <class Profile>
    explicit ProfilePicture(Profile profile) {
        allocator.Init(nullptr);
        UMC::mpeg4::AllocateFrame(allocator, 2, 2, src);
        UMC::mpeg4::AllocateFrame(allocator, 2, 2, dst);
        for (int p = 0; p < 3; ++p)
            for (int y = 0; y < Size(p); ++y)
                for (int x = 0; x < Size(p); ++x) At(src.frame, p, x, y) = profile(x, y);
        UMC::MPEG4DecoderState s{};
        s.vol.width = s.vol.height = 32;
        UMC::mpeg4::PadReference(s, src.frame);  // the deringing filter reads around each block
    }
    ~ProfilePicture() {
        UMC::mpeg4::FreeFrame(allocator, src);
        UMC::mpeg4::FreeFrame(allocator, dst);
    }
    static int Size(int p) { return p ? 16 : 32; }
    static uint8_t& At(const UMC::MPEG4FrameBuffer& f, int p, int x, int y) {
        return p == 0 ? f.y[y * f.yPitch + x] : (p == 1 ? f.u : f.v)[y * f.uvPitch + x];
    }
    // Whether plane p changed in any of the columns (all when none are given).
    bool Changed(int p, std::initializer_list<int> columns = {}) const {
        for (int y = 0; y < Size(p); ++y)
            for (int x = 0; x < Size(p); ++x)
                if ((columns.size() == 0 ||
                     std::find(columns.begin(), columns.end(), x) != columns.end()) &&
                    At(src.frame, p, x, y) != At(dst.frame, p, x, y))
                    return true;
        return false;
    }
};

std::unique_ptr<ProfilePicture> Deblocked(std::function<uint8_t(int, int)> profile, int quant,
                                          const UMC::mpeg4::Mpeg4PostFilterSettings& settings) {
    auto picture = std::make_unique<ProfilePicture>(profile);
    UMC::mpeg4::DeblockFrame(picture->src.frame, picture->dst.frame, 32, 32, settings, quant);
    return picture;
}

// The deblocking mode decision at its thresholds, on the luma edge at column 8: s0..s9 are the
// columns 3..12. The DC offset mode (at least THR2 of the nine steps within THR1, and s1..s8
// within less than twice the quantiser) smooths s1..s8; the default mode touches s4 and s5
// (columns 7 and 8) only, so a change in columns 4-6 or 9-11 tells the DC offset mode.
TEST_F(Mpeg4PostFilter, DeblockingModeThresholds) {
    const std::initializer_list<int> inner = {4, 5, 6, 9, 10, 11};
    UMC::mpeg4::Mpeg4PostFilterSettings settings;  // THR1 2, THR2 6 as the filter sets them
    settings.deblock[0] = 1;
    // Steps of THR1 everywhere: nine flat steps; one more and none is flat, unless THR1 says so.
    for (int step : {2, 3}) {
        SCOPED_TRACE(step);
        auto zigzag = [step](int x, int) { return uint8_t(100 + (x & 1) * step); };
        EXPECT_EQ(Deblocked(zigzag, 4, settings)->Changed(0, inner), step == 2);
        UMC::mpeg4::Mpeg4PostFilterSettings wider = settings;
        wider.thr1 = 3;
        EXPECT_TRUE(Deblocked(zigzag, 4, wider)->Changed(0, inner));
    }
    // Exactly THR2 flat steps, and one fewer (the others of 3); columns beyond repeat the ends.
    const uint8_t six[10] = {0, 0, 0, 3, 3, 3, 0, 0, 3, 3};
    const uint8_t five[10] = {0, 3, 3, 3, 0, 0, 3, 3, 0, 0};
    for (const uint8_t* across : {six, five}) {
        auto profile = [across](int x, int) {
            return uint8_t(100 + across[std::clamp(x - 3, 0, 9)]);
        };
        EXPECT_EQ(Deblocked(profile, 4, settings)->Changed(0, inner), across == six);
        UMC::mpeg4::Mpeg4PostFilterSettings stricter = settings;
        stricter.thr2 = 7;
        EXPECT_FALSE(Deblocked(profile, 4, stricter)->Changed(0, inner));
    }
    // A flat step at the edge is smoothed below twice the quantiser and kept at it.
    for (int quant : {4, 9})
        for (int step : {2 * quant - 1, 2 * quant}) {
            SCOPED_TRACE(testing::Message() << "quant " << quant << " step " << step);
            auto edge = [step](int x, int) { return uint8_t(x < 8 ? 100 : 100 + step); };
            const auto picture = Deblocked(edge, quant, settings);
            EXPECT_EQ(picture->Changed(0, inner), step < 2 * quant);
            EXPECT_EQ(picture->Changed(0), step < 2 * quant);
        }
}

// Each plane is deblocked and deringed only when its switch is on; the others are copied.
TEST_F(Mpeg4PostFilter, PostFilterPlaneSwitches) {
    auto zigzag = [](int x, int) { return uint8_t(100 + (x & 1) * 2); };
    // Two levels per block with a little noise: the deringing filter smooths inside each level.
    auto levels = [](int x, int y) {
        return uint8_t((x % 8 < 4 ? 60 : 140) + (x * 7 + y * 3) % 3);
    };
    for (int mask = 0; mask < 8; ++mask) {
        SCOPED_TRACE(mask);
        UMC::mpeg4::Mpeg4PostFilterSettings settings;
        for (int p = 0; p < 3; ++p) settings.deblock[p] = (mask >> p) & 1;
        const auto deblocked = Deblocked(zigzag, 4, settings);
        UMC::mpeg4::Mpeg4PostFilterSettings dering;
        for (int p = 0; p < 3; ++p) dering.dering[p] = (mask >> p) & 1;
        ProfilePicture deringed(levels);
        UMC::mpeg4::DeringFrame(deringed.src.frame, deringed.dst.frame, 32, 32, dering, 8);
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(deblocked->Changed(p), ((mask >> p) & 1) != 0) << "deblocking plane " << p;
            EXPECT_EQ(deringed.Changed(p), ((mask >> p) & 1) != 0) << "deringing plane " << p;
        }
    }
}

TEST_F(Mpeg4PostFilter, PostFilterChangesTheOutputNotTheReferences) {
    // h263_p: its P pictures predict from unfiltered references, or they would drift apart.
    std::vector<uint8_t> stream = ReadFile(Fixture("h263_p.h263"));
    UMC::MPEG4VideoDecoder plainDecoder;
    ASSERT_EQ(InitWith(plainDecoder, stream, 0), UMC::STATUS_OK);
    const DriverRun plain = DecodeThroughDriver(plainDecoder, stream);
    const size_t luma = size_t(plainDecoder.State().vol.width) * plainDecoder.State().vol.height;
    for (int mode = 0; mode < 2; ++mode) {
        SCOPED_TRACE(mode ? "deringing" : "deblocking");
        UMC::MPEG4VideoDecoder filteredDecoder;
        ASSERT_EQ(InitWith(filteredDecoder, stream, 0), UMC::STATUS_OK);
        if (mode)
            filteredDecoder.SetDeringing(1, 0, 0);
        else
            filteredDecoder.SetDeblocking(1, 0, 0, 2, 6);
        const DriverRun filtered = DecodeThroughDriver(filteredDecoder, stream);
        ASSERT_EQ(plain.pictures.size(), filtered.pictures.size());
        bool anyChange = false;
        for (size_t i = 0; i < plain.pictures.size(); ++i) {
            const auto& a = plain.pictures[i].bytes;
            const auto& b = filtered.pictures[i].bytes;
            anyChange = anyChange || !std::equal(a.begin(), a.begin() + luma, b.begin());
            // Chroma is not filtered, and the filter stays close to the decoded picture.
            EXPECT_TRUE(std::equal(a.begin() + luma, a.end(), b.begin() + luma));
            EXPECT_GT(Psnr(a.data(), b.data(), luma), 35.0);
            if (mode == 0) {
                // Deblocking reaches 4 samples either side of an edge inside the picture: the
                // 4x4 corners are out of reach of every one.
                const int w = plainDecoder.State().vol.width, h = plainDecoder.State().vol.height;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x)
                        if ((x < 4 || x >= w - 4) && (y < 4 || y >= h - 4)) {
                            ASSERT_EQ(a[y * w + x], b[y * w + x]) << x << "," << y;
                        }
            }
        }
        EXPECT_TRUE(anyChange);
    }
}

}  // namespace
