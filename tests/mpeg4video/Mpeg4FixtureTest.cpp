// Every committed stream against ffmpeg's decode, through the frame driver in both output orders
// and without it, then damaged and cut short: the decoder reports, conceals and carries on (the
// sanitizer builds watch every access).
#include <gtest/gtest.h>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "primitives/dispatch/ProcessorDispatch.h"
#include "tests/mpeg4video/Mpeg4InterDriver.h"
#include "tests/support/Random.h"

namespace {

using namespace qm::test::mpeg4;

// The tools a stream is there for, which it must really carry: B- and S-VOPs, the packed mode's
// not-coded placeholders, open and closed GOVs.
struct Kinds {
    int bVops = 0, sVops = 0, notCoded = 0, openGovs = 0, closedGovs = 0;
};

struct Row {
    StreamCase stream;
    bool intra;
    Kinds kinds;
};

const Row kRows[] = {
    {{"intra_h263q.m4v", 96, 64}, true, {}},
    {{"intra_mpegq.m4v", 96, 64}, true, {}},
    {{"intra_matrices.m4v", 96, 64}, true, {}},
    {{"intra_partitioned.m4v", 96, 64}, true, {}},
    {{"intra_resync.m4v", 96, 64}, true, {}},
    {{"intra_acpred.m4v", 96, 64}, true, {}},
    {{"intra_odd74x42.m4v", 74, 42}, true, {}},
    {{"intra_odd98x66.m4v", 98, 66}, true, {}},
    {{"intra_interlaced.m4v", 96, 64}, true, {}},
    {{"intra_q1.m4v", 96, 64}, true, {}},
    {{"intra_xvid.m4v", 96, 64}, true, {}},
    {{"h263_sqcif.h263", 128, 96}, true, {}},
    {{"h263_gob.h263", 128, 96}, true, {}},
    {{"h263_qcif.h263", 176, 144}, true, {}},
    {{"h263_cif.h263", 352, 288}, true, {}},
    {{"inter_p.m4v", 64, 48}, false, {}},
    {{"inter_mv4.m4v", 64, 48}, false, {}},
    {{"inter_b2.m4v", 64, 48}, false, {.bVops = 6}},
    {{"inter_partitioned.m4v", 64, 48}, false, {}},
    {{"inter_resync.m4v", 64, 48}, false, {.bVops = 1}},
    {{"inter_odd74x42.m4v", 74, 42}, false, {.bVops = 1}},
    {{"inter_qpel.m4v", 64, 48}, false, {.bVops = 1}},
    {{"inter_interlaced.m4v", 64, 48}, false, {.bVops = 1}},
    {{"inter_gop_open.m4v", 48, 32}, false, {.bVops = 13, .openGovs = 3}},
    {{"inter_gop_closed.m4v", 48, 32}, false, {.bVops = 13, .closedGovs = 3}},
    {{"xvid_qpel_b.m4v", 64, 48}, false, {.bVops = 1, .notCoded = 1}},
    {{"xvid_gmc.m4v", 64, 48}, false, {.sVops = 1}},
    {{"xvid_gmc_zoom.m4v", 64, 48}, false, {.sVops = 6}},
    {{"xvid_gmc_rotate2.m4v", 64, 48}, false, {.sVops = 4}},
    {{"xvid_gmc_pan1.m4v", 64, 48}, false, {.sVops = 6}},
    {{"h263_p.h263", 128, 96}, false, {}},
};

Kinds KindsOf(const std::vector<uint8_t>& stream) {
    Kinds k;
    for (size_t at : StartCodes(stream, 0xB3))
        if (at + 6 < stream.size())
            ++((stream[at + 6] >> 5) & 1 ? k.closedGovs : k.openGovs);  // after the time code
    UMC::MPEG4DecoderState s{};
    s.vo.verid = 1;
    UMC::Mpeg4PaddedInput input;
    input.Assign(stream.data(), stream.size());
    s.bits.Init(input.Data(), input.Size());
    if (UMC::mpeg4::FindHeaders(s) != UMC::STATUS_OK) return k;
    while (UMC::mpeg4::FindNextVop(s, nullptr) == UMC::STATUS_OK) {
        if (UMC::mpeg4::ParseVopHeader(s) != UMC::PARSE_OK) continue;
        k.bVops += s.vop.codingType == UMC::MPEG4_VOP_B;
        k.sVops += s.vop.codingType == UMC::MPEG4_VOP_S;
        k.notCoded += s.vop.coded ? 0 : 1;
    }
    return k;
}

// VOP start codes and short-header picture markers: the most pictures a stream can give.
size_t PictureStarts(const std::vector<uint8_t>& s) {
    size_t n = StartCodes(s).size();
    for (size_t i = 0; i + 3 < s.size(); ++i)
        n += s[i] == 0 && s[i + 1] == 0 && (s[i + 2] & 0xFC) == 0x80;
    return n;
}

// A damaged copy: each VOP cut somewhere after its start code, or bytes flipped, zeroed or
// replaced, sometimes with the stream cut short.
std::vector<uint8_t> Damaged(const std::vector<uint8_t>& clean, int trial, qm::test::Rng& rng) {
    const std::vector<size_t> starts = StartCodes(clean);
    if (trial < 3 && !starts.empty()) {
        std::vector<uint8_t> s(clean.begin(), clean.begin() + ptrdiff_t(starts[0]));
        for (size_t k = 0; k < starts.size(); ++k) {
            const size_t end = k + 1 < starts.size() ? starts[k + 1] : clean.size();
            const size_t keep = size_t(rng.Int(5, int(end - starts[k])));
            s.insert(s.end(), clean.begin() + ptrdiff_t(starts[k]),
                     clean.begin() + ptrdiff_t(starts[k] + keep));
        }
        return s;
    }
    std::vector<uint8_t> s = clean;
    for (int e = rng.Int(1, 8); e > 0; --e) {
        uint8_t& b = s[size_t(rng.Int(0, int(s.size()) - 1))];
        const int kind = rng.Int(0, 2);
        b = kind == 0   ? uint8_t(b ^ (1 << rng.Int(0, 7)))
            : kind == 1 ? 0
                        : uint8_t(rng.Int(0, 255));
    }
    if (rng.Int(0, 3) == 0) s.resize(size_t(rng.Int(1, int(s.size()))));
    return s;
}

TEST(Mpeg4Fixtures, MatchTheReferenceInBothOrdersAndSurviveDamage) {
    spInitProcessorDispatch();
    qm::test::Rng rng(0x4D34);
    for (const Row& row : kRows) {
        const StreamCase& c = row.stream;
        SCOPED_TRACE(c.file);
        const std::vector<uint8_t> stream = c.Stream(), reference = c.Reference();
        ASSERT_FALSE(stream.empty());
        ASSERT_EQ(reference.size() % c.FrameSize(), 0u);
        const Kinds kinds = KindsOf(stream);
        EXPECT_GE(kinds.bVops, row.kinds.bVops);
        EXPECT_GE(kinds.sVops, row.kinds.sVops);
        EXPECT_GE(kinds.notCoded, row.kinds.notCoded);
        EXPECT_GE(kinds.openGovs, row.kinds.openGovs);
        EXPECT_GE(kinds.closedGovs, row.kinds.closedGovs);
        EXPECT_TRUE(!row.kinds.openGovs || !kinds.closedGovs);
        EXPECT_TRUE(!row.kinds.closedGovs || !kinds.openGovs);

        // Display order: every picture close to the reference, the newest reference held back
        // until the drain (short-header streams have no B-VOPs to wait for).
        const DriverRun run = Drive(stream, UMC::FLAG_VDEC_REORDER);
        ASSERT_EQ(run.pictures.size(), reference.size() / c.FrameSize());
        EXPECT_EQ(run.drained, c.file[0] == 'h' ? 0 : 1);
        double minimum = 99.0;
        int bPictures = 0;
        for (size_t i = 0; i < run.pictures.size(); ++i) {
            const Picture& p = run.pictures[i];
            ASSERT_EQ(p.bytes.size(), c.FrameSize());
            const double psnr = Psnr(p.bytes.data(), &reference[i * c.FrameSize()], c.FrameSize());
            minimum = std::min(minimum, psnr);
            EXPECT_GE(psnr, kMinimumPsnr) << "picture " << i;
            EXPECT_EQ(p.status, UMC::STATUS_OK) << "picture " << i;
            bPictures += p.frameType == UMC::B_PICTURE;
            if (row.intra) {
                EXPECT_EQ(p.frameType, UMC::I_PICTURE);
            }
        }
        EXPECT_EQ(bPictures, kinds.bVops);
        std::printf("%s: %zu pictures, min %.2f dB\n", c.file, run.pictures.size(), minimum);

        // The same bytes from the VOP decoders without the frame driver, and in decoding order
        // when there is nothing to reorder.
        InterDriver inter;
        const Decoded direct = row.intra ? DecodeAll(stream) : inter.Run(stream);
        ASSERT_EQ(direct.pictures.size(), run.pictures.size());
        for (size_t i = 0; i < run.pictures.size(); ++i) {
            EXPECT_EQ(direct.pictures[i], run.pictures[i].bytes) << "picture " << i;
            EXPECT_EQ(direct.results[i], 0) << "picture " << i;
        }
        if (kinds.bVops == 0) {
            const DriverRun lowDelay = Drive(stream, 0);
            EXPECT_EQ(lowDelay.drained, 0);
            ASSERT_EQ(lowDelay.pictures.size(), run.pictures.size());
            for (size_t i = 0; i < run.pictures.size(); ++i)
                EXPECT_EQ(lowDelay.pictures[i].bytes, run.pictures[i].bytes) << "picture " << i;
        }

        for (int trial = 0; trial < 8; ++trial) {
            SCOPED_TRACE(trial);
            const std::vector<uint8_t> s = Damaged(stream, trial, rng);
            UMC::MPEG4VideoDecoder decoder;
            ASSERT_EQ(InitWith(decoder, stream, trial & 1 ? UMC::FLAG_VDEC_REORDER : 0),
                      UMC::STATUS_OK);
            const DriverRun damaged = DecodeThroughDriver(decoder, s, -1.0, trial & 2);
            for (const Picture& p : damaged.pictures)
                EXPECT_TRUE(p.status == UMC::STATUS_OK || p.status == UMC::kMpeg4FrameDamaged);
            EXPECT_LE(damaged.pictures.size(), PictureStarts(s) + 1);
            if (row.intra) {
                for (int32_t r : DecodeAll(s).results)
                    EXPECT_TRUE(r == 0 || r == UMC::kMpeg4VopConcealed) << r;
            }
        }
    }
}

}  // namespace
