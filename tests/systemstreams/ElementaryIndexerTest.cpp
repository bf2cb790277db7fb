// The indexer that qm_MPEGSystemFilters exports, on H.264 and ADTS AAC made by ffmpeg: it must
// find the access units ffprobe finds, at the same places, with the key units and times that
// follow from the samples it was fed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "VideoIO/MPEGUtil/MPEG2Indexer.h"
#include "tests/systemstreams/SystemStreamSupport.h"

extern "C" int32_t CreateMPEG2IndexerForBuffer(uint32_t streamKind, const void* pMediaType,
                                               int32_t useSampleMediaTimeAsPTS,
                                               qm_MPEGUtil::IMPEG2Indexer** ppIndexer);

namespace {

using namespace qm_MPEGUtil;

using qm::test::ProbePacket;
using qm::test::ProbePackets;
using qm::test::ReadProbePackets;

std::filesystem::path Dir() {
    return qm::test::IndexerFixtureDir();
}

struct Indexer {
    explicit Indexer(uint32_t kind) {
        EXPECT_EQ(CreateMPEG2IndexerForBuffer(kind, nullptr, 0, &p), kIndexerOk);
    }
    ~Indexer() {
        if (p) p->Release();
    }
    // data in pieces of `piece` bytes; piece i has time times[i] (or none past the end).
    void Feed(const std::vector<uint8_t>& data, size_t piece, const std::vector<int64_t>& times) {
        for (size_t at = 0, i = 0; at < data.size(); at += piece, ++i) {
            IndexedSample s;
            s.length = uint32_t(std::min(piece, data.size() - at));
            s.start = i < times.size() ? times[i] : kIndexerNoTime;
            const int32_t hr = p->IndexBuffer(data.data() + at, s.length, &s, 1);
            EXPECT_TRUE(hr == kIndexerOk || hr == kIndexerNoUnit) << hr;
        }
        p->Finish();
    }
    std::vector<IndexEntry> Entries() const {
        std::vector<IndexEntry> out(p->GetEntryCount());
        for (uint32_t i = 0; i < out.size(); ++i) EXPECT_TRUE(p->GetEntry(i, &out[i]));
        return out;
    }
    IMPEG2Indexer* p = nullptr;
};

// The units ffprobe finds, at its positions and sizes, with its key flags. H.264 pieces are
// each stamped with their number in seconds: the first unit starting in a piece takes its time,
// the others have none. ADTS has a time on the first piece only: the frames go on by their
// sample counts.
TEST(ElementaryIndexerTest, UnitsAndTimesAsFfprobeFindsThem) {
    const struct {
        const char *file, *probeName;
        uint32_t kind;
        SystemStreamType type;
        size_t pieces[3];
        bool everyPieceStamped;
    } streams[] = {
        {"h264.h264", "h264", H264_STREAM_KIND, H264_PURE_VIDEO_STREAM, {1 << 20, 4096, 5}, true},
        {"adts.aac",
         "adts",
         ADTS_AAC_STREAM_KIND,
         ADTS_AAC_PURE_AUDIO_STREAM,
         {1 << 20, 1000, 3},
         false}};
    const int64_t kSecond = 10000000, t0 = 5 * kSecond;
    for (const auto& s : streams) {
        const std::vector<uint8_t> data = qm::test::ReadBytes(Dir() / s.file);
        const ProbePackets probe = ReadProbePackets(s.probeName);
        ASSERT_GT(probe.packets.size(), 40u);
        for (size_t piece : s.pieces) {
            SCOPED_TRACE(std::string(s.file) + " in pieces of " + std::to_string(piece));
            std::vector<int64_t> times = {t0};
            if (s.everyPieceStamped) {
                times.clear();
                for (size_t i = 0; i * piece < data.size(); ++i)
                    times.push_back(int64_t(i) * kSecond);
            }
            Indexer indexer(s.kind);
            indexer.Feed(data, piece, times);
            EXPECT_EQ(indexer.p->GetSystemStreamType(), s.type);
            const std::vector<IndexEntry> entries = indexer.Entries();
            ASSERT_EQ(entries.size(), probe.packets.size());
            int64_t lastPiece = -1;
            for (size_t i = 0; i < entries.size(); ++i) {
                const ProbePacket& want = probe.packets[i];
                const int64_t pieceOf = int64_t(want.pos / piece);
                const double seconds =
                    double(want.pts) * double(probe.timeBaseNum) / double(probe.timeBaseDen);
                const int64_t time = !s.everyPieceStamped   ? t0 + std::llround(seconds * 1e7)
                                     : pieceOf != lastPiece ? pieceOf * kSecond
                                                            : -1;
                lastPiece = pieceOf;
                EXPECT_EQ(std::tuple(entries[i].position, entries[i].size, entries[i].keyFrame,
                                     entries[i].time),
                          std::tuple(want.pos, want.size, want.key, time))
                    << i;
            }
        }
    }
}

TEST(ElementaryIndexerTest, RawAacIsOneFramePerSampleAndGarbageIsSkipped) {
    // The ADTS frames without their headers, one per sample, every third without a time.
    const std::vector<uint8_t> adts = qm::test::ReadBytes(Dir() / "adts.aac");
    const ProbePackets probe = ReadProbePackets("adts");
    Indexer indexer(RAW_AAC_STREAM_KIND);
    EXPECT_EQ(indexer.p->GetSystemStreamType(), AAC_PURE_AUDIO_STREAM);
    uint64_t position = 0;
    for (size_t i = 0; i < probe.packets.size(); ++i) {
        const ProbePacket& p = probe.packets[i];
        IndexedSample s;
        s.length = p.size - 7;
        s.start = i % 3 == 2 ? kIndexerNoTime : int64_t(i) * 1000;
        EXPECT_EQ(indexer.p->IndexBuffer(adts.data() + p.pos + 7, s.length, &s, 1), kIndexerOk);
        IndexEntry e;
        ASSERT_TRUE(indexer.p->GetEntry(uint32_t(i), &e));
        EXPECT_EQ(e.position, position);
        EXPECT_EQ(e.size, s.length);
        EXPECT_EQ(e.time, s.start);
        position += s.length;
    }
    EXPECT_FALSE(indexer.p->GetEntry(uint32_t(probe.packets.size()), nullptr));

    // ADTS after garbage, and a sample that claims more than the buffer holds.
    Indexer adtsIndexer(ADTS_AAC_STREAM_KIND);
    std::vector<uint8_t> noisy(333, 0xFF);
    for (uint8_t b : adts) noisy.push_back(b);  // not insert: GCC 12 sees phantom bounds errors
    adtsIndexer.Feed(noisy, 4096, {});
    EXPECT_EQ(adtsIndexer.Entries().size(), probe.packets.size());
    EXPECT_EQ(adtsIndexer.Entries()[0].position, 333u);
    IndexedSample bad;
    bad.length = 10;
    EXPECT_EQ(adtsIndexer.p->IndexBuffer(noisy.data(), 5, &bad, 1), kIndexerInvalidArg);
    EXPECT_EQ(adtsIndexer.p->IndexBuffer(nullptr, 5, nullptr, 0), kIndexerInvalidArg);

    // Kinds it does not index, and no out-pointer.
    IMPEG2Indexer* none = nullptr;
    EXPECT_EQ(CreateMPEG2IndexerForBuffer(0x20000, nullptr, 0, &none), kIndexerNotImplemented);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(CreateMPEG2IndexerForBuffer(H264_STREAM_KIND, nullptr, 0, nullptr), kIndexerPointer);
}

}  // namespace
