// The sample allocator loads the indexer of qm_MPEGSystemFilters by name for the media types
// that have one, feeds it what it keeps, and carries on without it when the library or its
// export is missing.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "VideoIO/MPEGUtil/IndexerHelpers.h"
#include "tests/support/ReportCapture.h"
#include "tests/support/SampleAllocator.h"
#include "tests/systemstreams/SystemStreamSupport.h"

using qm::test::ReportCapture;
using namespace qm_MPEGUtil;

namespace {

CMediaType TypeOf(const GUID& major, const GUID& subtype) {
    CMediaType mt(&major);
    mt.SetSubtype(&subtype);
    return mt;
}

// A running allocator with one consumer, so that what it releases is kept (and indexed).
struct Store : qm::test::TestAllocator {
    explicit Store(const CMediaType& mt) : TestAllocator(&mt) {
        EXPECT_EQ(StartStore(8, 65536), S_OK);
        token = Register();
    }
    // One sample with the bytes; the consumer reads it right away so nothing piles up.
    void Push(const uint8_t* data, size_t size, REFERENCE_TIME time) {
        IMediaSample* s = Get();
        ASSERT_NE(s, nullptr);
        BYTE* p = nullptr;
        s->GetPointer(&p);
        std::memcpy(p, data, size);
        s->SetActualDataLength(LONG(size));
        if (time >= 0) s->SetTime(&time, nullptr);
        s->Release();
        IMediaSample* read = nullptr;
        if (SUCCEEDED(impl->GetNextSample(token, 0, &read))) read->Release();
    }
    IConsumerToken* token = nullptr;
};

std::vector<qm::test::ProbePacket> Packets(const char* name) {
    return qm::test::ReadProbePackets(name).packets;
}

std::vector<IndexEntry> EntriesOf(IMPEG2Indexer* indexer) {
    std::vector<IndexEntry> out(indexer->GetEntryCount());
    for (uint32_t i = 0; i < out.size(); ++i) indexer->GetEntry(i, &out[i]);
    return out;
}

TEST(IndexingBridgeTest, KeptH264SamplesAreFedInTimeOrder) {
    const std::vector<uint8_t> data =
        qm::test::ReadBytes(qm::test::IndexerFixtureDir() / "h264.h264");
    const std::vector<qm::test::ProbePacket> packets = Packets("h264");
    ASSERT_GT(packets.size(), 20u);
    const CMediaType mt =
        TypeOf(MEDIATYPE_Video, qm::MediaSubtypeFromFourCC(qm::MakeFourCC('H', '2', '6', '4')));
    Store store(mt);
    ASSERT_EQ(store.impl->EnableIndexing(&mt, FALSE), S_OK);
    for (size_t i = 0; i < packets.size(); ++i)
        store.Push(data.data() + packets[i].pos, packets[i].size, REFERENCE_TIME(i) * 400000);
    SystemStreamType type = UNKNOWN_STREAM;
    ASSERT_EQ(store.impl->GetSystemStreamType(&type), S_OK);
    EXPECT_EQ(type, H264_PURE_VIDEO_STREAM);
    IMPEG2Indexer* indexer = nullptr;
    ASSERT_EQ(store.impl->GetMPEG2Indexer(&indexer), S_OK);
    // The last unit is open until something follows it.
    const std::vector<IndexEntry> entries = EntriesOf(indexer);
    ASSERT_EQ(entries.size(), packets.size() - 1);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(std::tuple(entries[i].position, entries[i].keyFrame, entries[i].time),
                  std::tuple(packets[i].pos, packets[i].key, int64_t(i) * 400000));
    indexer->Release();
    ReportCapture capture;
    EXPECT_EQ(store.impl->GetMPEG2Indexer(nullptr), E_POINTER);
    EXPECT_TRUE(capture.Contains("ppMPEG2Indexer != 0"));
}

TEST(IndexingBridgeTest, KeptAdtsSamplesAreIndexedAndTheIndexerFollowsTheTypeToRawAac) {
    const std::vector<uint8_t> adts =
        qm::test::ReadBytes(qm::test::IndexerFixtureDir() / "adts.aac");
    const std::vector<qm::test::ProbePacket> packets = Packets("adts");
    ASSERT_GT(packets.size(), 20u);
    const CMediaType adtsType = TypeOf(MEDIATYPE_Audio, qm::MediaSubtypeFromFourCC(0x1600));
    Store store(adtsType);
    ASSERT_EQ(store.impl->EnableIndexing(&adtsType, FALSE), S_OK);
    for (size_t i = 0; i < 10; ++i)
        store.Push(adts.data() + packets[i].pos, packets[i].size, REFERENCE_TIME(i) * 213333);
    SystemStreamType type = UNKNOWN_STREAM;
    ASSERT_EQ(store.impl->GetSystemStreamType(&type), S_OK);
    EXPECT_EQ(type, ADTS_AAC_PURE_AUDIO_STREAM);

    // Raw frames from here on: the allocator accepts the type and tells the indexer.
    const CMediaType rawType = TypeOf(MEDIATYPE_Audio, qm::MediaSubtypeFromFourCC(0x00FF));
    ASSERT_EQ(store.impl->SetNewMediaType(&rawType), S_OK);
    for (size_t i = 10; i < 15; ++i)
        store.Push(adts.data() + packets[i].pos + 7, packets[i].size - 7,
                   REFERENCE_TIME(i) * 213333);
    ASSERT_EQ(store.impl->GetSystemStreamType(&type), S_OK);
    EXPECT_EQ(type, AAC_PURE_AUDIO_STREAM);
    IMPEG2Indexer* indexer = nullptr;
    ASSERT_EQ(store.impl->GetMPEG2Indexer(&indexer), S_OK);
    const std::vector<IndexEntry> entries = EntriesOf(indexer);
    // Nine ADTS frames (the tenth waits for the sync word after it), then five raw ones.
    ASSERT_EQ(entries.size(), 14u);
    for (size_t i = 0; i < 9; ++i)
        EXPECT_EQ(std::tuple(entries[i].position, entries[i].time),
                  std::tuple(packets[i].pos, REFERENCE_TIME(i) * 213333));
    for (size_t i = 9; i < 14; ++i)
        EXPECT_EQ(std::tuple(entries[i].size, entries[i].time),
                  std::tuple(packets[i + 1].size - 7, REFERENCE_TIME(i + 1) * 213333));
    indexer->Release();
}

TEST(IndexingBridgeTest, AMissingLibraryOrExportLeavesIndexingOffAndTheStoreWorking) {
    const CMediaType mt =
        TypeOf(MEDIATYPE_Video, qm::MediaSubtypeFromFourCC(qm::MakeFourCC('H', '2', '6', '4')));
    struct Case {
        LPCWSTR library;
        HRESULT hr;
        const char* condition;
    };
#ifdef _WIN32
    LPCWSTR withoutExport = TEXT("msvcrt.dll");
#else
    LPCWSTR withoutExport = TEXT("libc.so.6");
#endif
    for (const Case& c : {Case{TEXT("qm_no_such_library.dll"), HRESULT(0x8007007E), "hModule != 0"},
                          Case{withoutExport, HRESULT(0x8007007F), "pfnCreateMPEG2Indexer != 0"}}) {
        SCOPED_TRACE(c.condition);
        Store store(mt);
        SetIndexerLibraryName(c.library);
        {
            ReportCapture capture;
            EXPECT_EQ(store.impl->EnableIndexing(&mt, FALSE), c.hr);
            EXPECT_TRUE(capture.Contains(c.condition));
            IMPEG2Indexer* indexer = nullptr;
            EXPECT_EQ(store.impl->GetMPEG2Indexer(&indexer), E_UNEXPECTED);
            EXPECT_TRUE(capture.Contains("m_mpeg2Indexer != 0"));
        }
        SetIndexerLibraryName(nullptr);
        // Samples are kept and read as before.
        const uint8_t bytes[4] = {0, 0, 1, 9};
        store.Push(bytes, sizeof bytes, 0);
        EXPECT_EQ(store.Stats().keptTotal, 1u);
    }
}

TEST(IndexingBridgeTest, StreamTypesOnlySetTheFlagAndOtherTypesAreNotIndexed) {
    CMediaType program = TypeOf(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG2_PROGRAM);
    Store store(program);
    {
        ReportCapture capture;
        EXPECT_EQ(store.impl->EnableIndexing(&program, TRUE), E_INVALIDARG);
        EXPECT_TRUE(capture.Contains("! useSampleMediaTimeAsPTS"));
        EXPECT_EQ(store.impl->EnableIndexing(nullptr, FALSE), E_POINTER);
    }
    ASSERT_EQ(store.impl->EnableIndexing(&program, FALSE), S_OK);
    IMPEG2Indexer* indexer = nullptr;
    {
        ReportCapture capture;
        EXPECT_EQ(store.impl->GetMPEG2Indexer(&indexer), E_UNEXPECTED);  // none yet
    }
    // The library has no indexer for system streams: the first kept buffer turns indexing off
    // and is kept all the same.
    {
        ReportCapture capture;
        const uint8_t pack[4] = {0, 0, 1, 0xBA};
        store.Push(pack, sizeof pack, 0);
        EXPECT_TRUE(capture.Contains("QMLogHRESULT"));
    }
    EXPECT_EQ(store.Stats().keptTotal, 1u);

    // MPEG-2 video has no indexer here: S_OK, and nothing loaded.
    const CMediaType mpeg2 = TypeOf(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO);
    Store other(mpeg2);
    EXPECT_EQ(other.impl->EnableIndexing(&mpeg2, FALSE), S_OK);
    ReportCapture capture;
    EXPECT_EQ(other.impl->GetMPEG2Indexer(&indexer), E_UNEXPECTED);
}

TEST(IndexingBridgeTest, TheWorkingBufferScansWhenFullAndRefusesOversizedSamples) {
    struct Recorder : ScannerBase {
        Recorder() : ScannerBase(16) {}
        HRESULT Scan(const uint8_t*, uint32_t size, const IndexedSample* samples,
                     uint32_t count) override {
            scans.push_back(size);
            if (count) lastTime = samples[count - 1].start;
            return S_OK;
        }
        std::vector<uint32_t> scans;
        int64_t lastTime = 0;
    } scanner;
    const BYTE bytes[32] = {};
    ASSERT_EQ(scanner.AppendSample(bytes, 10, 5, 6), S_OK);
    ASSERT_EQ(scanner.AppendSample(bytes, 5, -1, -1), S_OK);
    EXPECT_TRUE(scanner.scans.empty());
    ASSERT_EQ(scanner.AppendSample(bytes, 1, 7, 8), S_OK);  // 16 would not fit: 15 scanned
    ASSERT_EQ(scanner.scans.size(), 1u);
    EXPECT_EQ(scanner.scans[0], 15u);
    EXPECT_EQ(scanner.lastTime, kIndexerNoTime);
    ReportCapture capture;
    EXPECT_EQ(scanner.AppendSample(bytes, 16, 0, 0), E_INVALIDARG);
    EXPECT_TRUE(capture.Contains("(bufferDataSize + sampleDataLength) < bufferSize"));
    ASSERT_EQ(scanner.Flush(), S_OK);
    EXPECT_EQ(scanner.scans.back(), 1u);
    EXPECT_EQ(scanner.lastTime, 7);
}

}  // namespace
