// Transport streams built by hand (tables and their versions, continuity) and the generated
// fixture damaged at random: dropped, repeated and cut packets.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "VideoIO/MPEGSystemFilters/TransportStreamParser.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"
#include "tests/systemstreams/StreamBuilder.h"
#include "tests/systemstreams/SystemStreamSupport.h"

namespace {

using namespace qm_MPEGSystemFilters;
using qm::test::Append;
using qm::test::Bytes;
using qm::test::Collector;

constexpr uint16_t kPmtPid = 0x100, kVideo = 0x1E0, kAudio = 0x1C0;

struct Mux {
    int patCc = 0, pmtCc = 0;
    std::map<uint16_t, int> cc;
    Bytes out;
    void Tables(const std::vector<qm::test::PmtEntry>& entries, uint8_t version = 0) {
        Append(out, qm::test::PsiPacket(0, qm::test::Pat(kPmtPid), patCc));
        Append(out, qm::test::PsiPacket(kPmtPid, qm::test::Pmt(entries, version), pmtCc));
    }
    void Unit(uint16_t pid, uint8_t streamId, const Bytes& payload, int64_t pts) {
        Append(out, qm::test::TsPackets(pid, qm::test::Pes(streamId, payload, pts), cc[pid]));
    }
};

Bytes Payload(size_t size, uint8_t seed) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = uint8_t(seed + i * 7);
    return b;
}

TEST(TransportStream, TablesNameTheStreamsAndTheirCodings) {
    const Bytes ac3Descriptor = {0x6A, 1, 0x00};
    const Bytes registration = {0x05, 4, 'A', 'C', '-', '3'};
    Mux m;
    m.Tables({{0x02, kVideo, {}},
              {0x06, 0x101, ac3Descriptor},
              {0x06, 0x102, registration},
              {0x06, 0x103, {}},
              {0x1B, 0x104, {}},
              {0x0F, 0x105, {}},
              {0x03, kVideo, {}}});  // a PID named twice keeps its first entry
    m.Unit(kVideo, 0xE0, Payload(500, 1), 3600);
    Collector got;
    TransportStreamParser parser(&got);
    qm::test::FeedInPieces(parser, m.out, 1, 100);
    ASSERT_EQ(got.order, (std::vector<uint32_t>{kVideo, 0x101, 0x102, 0x103, 0x104, 0x105}));
    EXPECT_EQ(got.Codings(), (std::map<uint32_t, StreamCoding>{{kVideo, StreamCoding::MpegVideo},
                                                               {0x101, StreamCoding::Ac3},
                                                               {0x102, StreamCoding::Ac3},
                                                               {0x103, StreamCoding::Unknown},
                                                               {0x104, StreamCoding::H264},
                                                               {0x105, StreamCoding::Aac}}));
    EXPECT_EQ(got.Bytes(kVideo), Payload(500, 1));
}

TEST(TransportStream, NewPmtVersionChangesAStreamAndBadCrcIsIgnored) {
    Mux m;
    m.Tables({{0x03, kAudio, {}}});
    m.Unit(kAudio, 0xC0, Payload(50, 2), 100);
    Bytes broken = qm::test::Pmt({{0x81, kAudio, {}}}, 1);
    broken[broken.size() - 1] ^= 1;
    Append(m.out, qm::test::PsiPacket(kPmtPid, broken, m.pmtCc));
    m.Unit(kAudio, 0xC0, Payload(50, 3), 200);
    Append(m.out, qm::test::PsiPacket(kPmtPid, qm::test::Pmt({{0x81, kAudio, {}}}, 1), m.pmtCc));
    m.Unit(kAudio, 0xBD, Payload(50, 4), 300);
    Collector got;
    TransportStreamParser parser(&got);
    qm::test::FeedInPieces(parser, m.out, 2, 1000);
    EXPECT_EQ(got.Codings(), (std::map<uint32_t, StreamCoding>{{kAudio, StreamCoding::Ac3}}));
    ASSERT_EQ(got.units.size(), 3u);
    EXPECT_EQ(got.Pts(kAudio), (std::vector<int64_t>{100, 200, 300}));
}

// The random damage marks a repeat as a gap: only this case sees it dropped.
TEST(TransportStream, ContinuityGapsMarkUnitsAndRepeatsAreDropped) {
    Mux m;
    m.Tables({{0x02, kVideo, {}}});
    m.Unit(kVideo, 0xE0, Payload(1000, 1), 1000);  // 6 packets
    const size_t firstUnit = m.out.size() - 6 * 188;
    // A repeated packet (same counter) is legal and carries nothing new.
    Bytes repeated(m.out.begin() + std::ptrdiff_t(firstUnit + 188),
                   m.out.begin() + std::ptrdiff_t(firstUnit + 2 * 188));
    m.out.insert(m.out.begin() + std::ptrdiff_t(firstUnit + 2 * 188), repeated.begin(),
                 repeated.end());
    m.Unit(kVideo, 0xE0, Payload(1000, 2), 2000);
    const size_t secondUnit = m.out.size() - 6 * 188;
    m.out.erase(m.out.begin() + std::ptrdiff_t(secondUnit + 3 * 188),
                m.out.begin() + std::ptrdiff_t(secondUnit + 4 * 188));  // lost
    m.Unit(kVideo, 0xE0, Payload(1000, 3), 3000);
    Collector got;
    TransportStreamParser parser(&got);
    qm::test::FeedInPieces(parser, m.out, 3, 500);
    ASSERT_EQ(got.units.size(), 3u);
    EXPECT_EQ(std::tuple(got.units[0].damaged, got.units[1].damaged, got.units[2].damaged),
              std::tuple(false, true, false));
    EXPECT_EQ(got.units[0].bytes, Payload(1000, 1));
    EXPECT_EQ(got.units[2].bytes, Payload(1000, 3));
    EXPECT_EQ(parser.ContinuityErrors(), 1u);
}

// The fixture with packets dropped, repeated, corrupted and sync broken (seeded): never a crash,
// a lost sync is counted and found again, and a unit that is not marked damaged is byte for byte
// one of the undamaged stream's units.
TEST(TransportStream, RandomDamageIsMarkedNeverGlued) {
    const Bytes clean = qm::test::ReadBytes(qm::test::FixtureDir() / "containers" / "transport.ts");
    ASSERT_EQ(clean.size() % 188, 0u);
    Collector reference;
    {
        TransportStreamParser parser(&reference);
        parser.Feed(clean.data(), clean.size());
        parser.Finish();
    }
    std::map<std::tuple<uint32_t, int64_t>, const Bytes*> known;
    for (const auto& u : reference.units) known[{u.key, u.pts}] = &u.bytes;

    for (uint64_t seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        qm::test::Rng rng(seed);
        const bool corrupt = seed % 3 == 0;  // corrupted payload bytes cannot be detected
        Bytes damaged;
        int cut = 0;
        for (size_t i = 0; i < clean.size(); i += 188) {
            const int roll = rng.Int(0, 99);
            Bytes packet(clean.begin() + std::ptrdiff_t(i),
                         clean.begin() + std::ptrdiff_t(i + 188));
            if (roll < 3) continue;                 // dropped
            if (roll < 5) Append(damaged, packet);  // repeated
            if (roll < 7 && corrupt) packet[size_t(rng.Int(0, 187))] ^= uint8_t(rng.Int(1, 255));
            if (roll == 7) {
                packet.resize(size_t(rng.Int(1, 187)));  // sync lost mid-packet
                ++cut;
            }
            Append(damaged, packet);
        }
        Collector got;
        TransportStreamParser parser(&got);
        qm::test::FeedInPieces(parser, damaged, seed, 4000);
        size_t intact = 0;
        for (const auto& u : got.units) {
            if (u.damaged || corrupt) continue;
            auto it = known.find({u.key, u.pts});
            ASSERT_NE(it, known.end()) << "unit at " << u.pts;
            EXPECT_EQ(u.bytes, *it->second) << "unit at " << u.pts;
            ++intact;
        }
        EXPECT_GT(got.units.size(), reference.units.size() / 2);
        EXPECT_GT(parser.Stats().damagedUnits, 0u);
        if (cut > 0) {
            EXPECT_GT(parser.SyncLosses(), 0u);
        }
        if (!corrupt) {
            EXPECT_GT(intact, reference.units.size() / 4);
        }
    }
}

}  // namespace
