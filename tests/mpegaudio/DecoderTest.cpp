// MP3Decoder behaviour at the edges: input split anywhere, tags, damaged data, state moves,
// parameters, time stamps and stream information.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/mpegaudio/DecodeHelpers.h"
#include "tests/support/Paths.h"
#include "tests/support/Random.h"

namespace {

using qm::test::Decoded;
using qm::test::DecodeStream;
using qm::test::DecodeWith;
using qm::test::FrameStarts;

std::vector<uint8_t> Fixture(const char* name) {
    return qm::test::ReadBytes(qm::test::FixtureDir() / "mpa" / name);
}

struct Call {
    UMC::Status status;
    size_t consumed;
};

// A decoder fed by hand, one GetFrame at a time.
struct Session {
    explicit Session(uint32_t checkNextHeader = 0, UMC::MemoryAllocator* allocator = nullptr) {
        UMC::MP3DecoderParams params;
        params.check_next_header = checkNextHeader;
        params.lpMemoryAllocator = allocator;
        EXPECT_EQ(decoder.Init(&params), UMC::STATUS_OK);
    }
    // One GetFrame on data[0..size) with an output of `outBytes`.
    Call Feed(const uint8_t* data, size_t size, size_t outBytes = 1152 * 4) {
        UMC::MediaData in;
        in.SetBufferPointer(const_cast<uint8_t*>(data), size);
        in.SetDataSize(size);
        out.resize(outBytes);
        audio.SetBufferPointer(out.data(), out.size());
        const UMC::Status st = decoder.GetFrame(&in, &audio);
        return {st, size_t(in.GetDataPointer() - data)};
    }
    Call Feed(const std::vector<uint8_t>& data, size_t pos = 0) {
        return Feed(data.data() + pos, data.size() - pos);
    }
    UMC::MP3Decoder decoder;
    std::vector<uint8_t> out;
    UMC::AudioData audio;
};

// Frames 0 to 3 in two pieces, split at every byte of frame 2: a piece of a frame, or fewer
// bytes than a header, only waits for more.
TEST(MpegAudioInput, FrameSplitAtEveryByteGivesTheSameSamples) {
    for (const char* name : {"l2_joint.mp2", "l3_cbr128_joint.mp3", "l3_mpeg25_8k.mp3"}) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> all = Fixture(name);
        const std::vector<size_t> starts = FrameStarts(all);
        ASSERT_GT(starts.size(), 5u);
        const std::vector<uint8_t> data(all.begin(), all.begin() + ptrdiff_t(starts[4]));
        const Decoded whole = DecodeStream(data);
        ASSERT_EQ(whole.frames, 4);
        for (size_t split = starts[2] + 1; split < starts[3]; ++split) {
            const Decoded pieces = DecodeStream(data, split);
            ASSERT_EQ(pieces.errors, 0) << "split at byte " << split;
            ASSERT_EQ(pieces.pcm, whole.pcm) << "split at byte " << split;
        }
    }
}

TEST(MpegAudioInput, Id3TagLargerThanTheInputIsConsumedOverSeveralCalls) {
    std::vector<uint8_t> data = Fixture("l3_id3v2.mp3");
    ASSERT_EQ(std::memcmp(data.data(), "ID3", 3), 0);
    const size_t tag =
        10 + ((size_t(data[6]) << 21) | (size_t(data[7]) << 14) | (size_t(data[8]) << 7) | data[9]);
    ASSERT_GT(tag, 2000u);
    Session session;
    size_t pos = 0;
    int calls = 0;
    while (pos < tag) {
        const size_t piece = std::min<size_t>(700, tag - pos);
        Call c = session.Feed(data.data() + pos, piece);
        // The piece that ends the tag leaves nothing to search.
        EXPECT_EQ(c.status,
                  pos + piece < tag ? UMC::STATUS_NOT_ENOUGH_DATA : UMC::STATUS_SYNC_NOT_FOUND);
        EXPECT_EQ(c.consumed, piece);
        pos += c.consumed;
        ++calls;
    }
    EXPECT_GE(calls, 3);
    Call first = session.Feed(data, pos);
    EXPECT_EQ(first.status, UMC::STATUS_OK);
    EXPECT_EQ(session.audio.GetDataSize(), 1152u * 2 * 2);
    // The whole file at once decodes like the same stream without the tag.
    std::vector<uint8_t> bare(data.begin() + ptrdiff_t(tag), data.end());
    EXPECT_EQ(DecodeStream(data).pcm, DecodeStream(bare).pcm);
}

TEST(MpegAudioInput, OneFrameWaitsForTheNextHeaderUnlessSynchronisedWithoutChecking) {
    std::vector<uint8_t> data = Fixture("l2_44k.mp2");
    std::vector<size_t> starts = FrameStarts(data);
    const size_t len = starts[1];
    for (uint32_t check : {0u, 1u}) {
        SCOPED_TRACE(check);
        Session session(check);
        // Before synchronisation the following header is always needed.
        EXPECT_EQ(session.Feed(data.data(), len).status, UMC::STATUS_NOT_ENOUGH_DATA);
        EXPECT_EQ(session.Feed(data.data(), len + 2).status, UMC::STATUS_NOT_ENOUGH_DATA);
        Call c = session.Feed(data.data(), len + 3);
        EXPECT_EQ(c.status, UMC::STATUS_OK);
        EXPECT_EQ(c.consumed, len);
        // Synchronised: the next frame alone decodes only when the check is off.
        const size_t len2 = starts[2] - starts[1];
        c = session.Feed(data.data() + starts[1], len2);
        EXPECT_EQ(c.status, check ? UMC::STATUS_NOT_ENOUGH_DATA : UMC::STATUS_OK);
        EXPECT_EQ(c.consumed, check ? 0u : len2);
    }
}

// Garbage between frames is skipped (the filter test checks the frames and samples); checking
// the next header drops each frame that garbage follows.
TEST(MpegAudioInput, CheckingTheNextHeaderDropsFramesThatGarbageFollows) {
    std::vector<uint8_t> data = Fixture("l3_cbr128_joint.mp3");
    std::vector<size_t> starts = FrameStarts(data);
    std::vector<uint8_t> damaged;
    qm::test::Rng rng(7);
    int insertions = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        size_t end = i + 1 < starts.size() ? starts[i + 1] : data.size();
        damaged.insert(damaged.end(), data.begin() + ptrdiff_t(starts[i]),
                       data.begin() + ptrdiff_t(end));
        if (i % 3 == 1) {
            ++insertions;
            // Bytes without 0xFF cannot start a header.
            for (int k = rng.Int(1, 300); k > 0; --k) damaged.push_back(uint8_t(rng.Int(0, 254)));
        }
    }
    EXPECT_EQ(DecodeStream(damaged).frames, DecodeStream(data).frames);
    EXPECT_EQ(DecodeStream(damaged, 0, 1).frames, DecodeStream(data, 0, 1).frames - insertions);
}

TEST(MpegAudioInput, StreamStartingInTheMiddleOfTheReservoir) {
    std::vector<uint8_t> data = Fixture("l3_cbr128_joint.mp3");
    std::vector<size_t> starts = FrameStarts(data);
    // A frame whose main data begin in earlier frames (MPEG-1 stereo: 9-bit field after the
    // header; no CRC in this stream).
    size_t k = 0;
    for (size_t i = 1; i + 2 < starts.size() && !k; ++i) {
        const uint8_t* f = data.data() + starts[i];
        if (((f[4] << 1) | (f[5] >> 7)) > 0) k = i;
    }
    ASSERT_GT(k, 0u) << "no frame with main_data_begin > 0";
    Session session;
    Call c = session.Feed(data, starts[k]);
    // The first frame gives nothing; the same call returns a later frame.
    EXPECT_EQ(c.status, UMC::STATUS_OK);
    EXPECT_GT(c.consumed, starts[k + 1] - starts[k]);
}

// A layer II frame failing its CRC is dropped and the others decode: at fixed rate, and in the
// stream relabelled as free format (bit rate index 0), whose CRC words were computed over the old
// header, as the ISO free-format test stream's are.
TEST(MpegAudioErrors, Layer2FrameWithBadCrcIsDropped) {
    const std::vector<uint8_t> original = Fixture("l2_crc.mp2");
    const std::vector<size_t> starts = FrameStarts(original);
    ASSERT_EQ(original[1] & 1, 0) << "fixture must carry CRCs";
    const Decoded clean = DecodeStream(original);
    const size_t frame = 1152 * 2;
    for (bool freeFormat : {false, true}) {
        SCOPED_TRACE(freeFormat ? "free format" : "fixed rate");
        std::vector<uint8_t> data = original;
        for (size_t p : starts)
            if (freeFormat) data[p + 2] &= 0x0F;
        EXPECT_EQ(DecodeStream(data).pcm, clean.pcm);
        data[starts[3] + 6] ^= 0x80;  // a bit of the third frame's first allocation field
        const Decoded got = DecodeStream(data);
        EXPECT_EQ(got.frames, clean.frames - 1);
        ASSERT_GE(got.pcm.size(), 3 * frame);
        EXPECT_TRUE(std::equal(got.pcm.begin(), got.pcm.begin() + 3 * frame, clean.pcm.begin()));
    }
    // The very first frame damaged: no earlier frame has proved the CRCs right. After a Reset
    // too: the damaged first frame is dropped, the next one decodes.
    std::vector<uint8_t> first = original;
    first[starts[0] + 6] ^= 0x80;
    EXPECT_EQ(DecodeStream(first).frames, clean.frames - 1);
    Session session;
    ASSERT_EQ(session.Feed(original).status, UMC::STATUS_OK);
    ASSERT_EQ(session.decoder.Reset(), UMC::STATUS_OK);
    const Call c = session.Feed(first);
    EXPECT_EQ(c.status, UMC::STATUS_OK);
    EXPECT_EQ(c.consumed, starts[2]);  // the damaged frame and the one after it
}

TEST(MpegAudioErrors, FreeFormatAfterFixedRateGivesSilence) {
    std::vector<uint8_t> fixed = Fixture("l3_cbr128_joint.mp3");
    std::vector<uint8_t> free = Fixture("l3_free_format.mp3");
    std::vector<size_t> starts = FrameStarts(fixed);
    std::vector<uint8_t> data(fixed.begin(), fixed.begin() + ptrdiff_t(starts[3]));
    data.insert(data.end(), free.begin(), free.end());
    Session session;
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        Call c = session.Feed(data, pos);
        ASSERT_EQ(c.status, UMC::STATUS_OK);
        pos += c.consumed;
    }
    ASSERT_EQ(pos, starts[3]);
    Call c = session.Feed(data, pos);
    EXPECT_EQ(c.status, UMC::STATUS_OK);
    EXPECT_EQ(c.consumed, 1u);  // put back to the candidate's second byte
    ASSERT_EQ(session.audio.GetDataSize(), 1152u * 4);
    auto* s = reinterpret_cast<const int16_t*>(session.audio.GetDataPointer());
    for (size_t i = 0; i < 1152 * 2; ++i) ASSERT_EQ(s[i], 0);
}

// Moves each block to new memory at every Lock, as an allocator that compacts would.
class MovingAllocator : public UMC::MemoryAllocator {
public:
    UMC::Status Init(UMC::MemoryAllocatorParams*) override { return UMC::STATUS_OK; }
    UMC::Status Close() override { return m_blocks.clear(), UMC::STATUS_OK; }
    UMC::Status Alloc(UMC::MemID* id, size_t size, uint32_t, uint32_t) override {
        m_blocks.push_back({std::vector<uint8_t>(size), 0, size});
        *id = UMC::MemID(m_blocks.size());
        return UMC::STATUS_OK;
    }
    void* Lock(UMC::MemID id) override {
        if (id < 1 || size_t(id) > m_blocks.size() || m_blocks[id - 1].raw.empty()) return nullptr;
        Block& b = m_blocks[id - 1];
        std::vector<uint8_t> raw(b.size + 32);  // taken while the old memory is still held
        const size_t at = -reinterpret_cast<uintptr_t>(raw.data()) & 31;
        std::memcpy(raw.data() + at, b.raw.data() + b.at, b.size);
        b.raw.swap(raw);
        b.at = at;
        ++moves;
        return b.raw.data() + at;
    }
    UMC::Status Unlock(UMC::MemID) override { return UMC::STATUS_OK; }
    UMC::Status Free(UMC::MemID id) override {
        if (id < 1 || size_t(id) > m_blocks.size()) return UMC::STATUS_FAILED;
        m_blocks[id - 1].raw.clear();
        return UMC::STATUS_OK;
    }
    UMC::Status DeallocateMem(UMC::MemID id) override { return Free(id); }
    int moves = 0;

private:
    struct Block {
        std::vector<uint8_t> raw;
        size_t at, size;
    };
    std::vector<Block> m_blocks;
};

TEST(MpegAudioState, MovedStateBlockDecodesTheSame) {
    MovingAllocator allocator;
    for (const char* name : {"l3_vbr_v2.mp3", "l2_joint.mp2"}) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> data = Fixture(name);
        Decoded reference = DecodeStream(data);
        Session session(0, &allocator);
        const int movesBefore = allocator.moves;
        const Decoded moved = DecodeWith(session.decoder, data);
        EXPECT_GT(allocator.moves - movesBefore, 10);
        EXPECT_EQ(moved.pcm, reference.pcm);
    }
}

// A seek: ten frames, Reset, then on from frame 20, whose main data begin in frames that were
// never fed: the result is that of a fresh decoder started at frame 20. The stream parameters
// stay: a stream at another sampling frequency is not taken up, the same one is, its time stamps
// starting again at 0.
TEST(MpegAudioState, ResetForgetsTheReservoirOverlapAndFiltersNotTheStream) {
    const std::vector<uint8_t> data = Fixture("l3_cbr128_joint.mp3");
    const std::vector<size_t> starts = FrameStarts(data);
    ASSERT_GT(starts.size(), 30u);
    Session seeking;
    const std::vector<uint8_t> head(data.begin(), data.begin() + ptrdiff_t(starts[10]));
    const std::vector<uint8_t> tail(data.begin() + ptrdiff_t(starts[20]), data.end());
    ASSERT_GT(DecodeWith(seeking.decoder, head).frames, 0);
    ASSERT_EQ(seeking.decoder.Reset(), UMC::STATUS_OK);
    const Decoded expected = DecodeStream(tail);
    EXPECT_EQ(expected.frames, int(starts.size()) - 21);  // frame 20 itself is skipped
    EXPECT_EQ(DecodeWith(seeking.decoder, tail).pcm, expected.pcm);

    const std::vector<uint8_t> l2 = Fixture("l2_44k.mp2"), other = Fixture("l2_48k.mp2");
    Session session;
    ASSERT_EQ(session.Feed(l2).status, UMC::STATUS_OK);
    ASSERT_EQ(session.decoder.Reset(), UMC::STATUS_OK);
    float duration = -2.0f;
    EXPECT_EQ(session.decoder.GetDuration(&duration), UMC::STATUS_OK);
    EXPECT_EQ(duration, 0.0f);
    EXPECT_EQ(session.Feed(other).status, UMC::STATUS_SYNC_NOT_FOUND);
    EXPECT_EQ(session.Feed(l2).status, UMC::STATUS_OK);
    double start = -2, end = -2;
    session.audio.GetTime(start, end);
    EXPECT_EQ(start, 0.0);
}

TEST(MpegAudioState, TimeStampsRunOnWithoutInputTimes) {
    std::vector<uint8_t> data = Fixture("l3_mpeg25_8k.mp3");
    Session session;
    size_t pos = 0;
    const double step = 576.0 / 8000.0;  // MPEG-2.5 layer III: 576 samples per frame
    for (int i = 0; i < 5; ++i) {
        Call c = session.Feed(data, pos);
        ASSERT_EQ(c.status, UMC::STATUS_OK);
        pos += c.consumed;
        EXPECT_EQ(session.audio.GetDataSize(), 576u * 2);
        EXPECT_EQ(session.audio.m_iSampleFrequency, 8000);
        double start, end;
        session.audio.GetTime(start, end);
        EXPECT_NEAR(start, i * step, 1e-9);
        EXPECT_NEAR(end, (i + 1) * step, 1e-9);
    }
    // A time on the input is taken, and the input is restamped with the frame's end.
    UMC::MediaData in;
    in.SetBufferPointer(data.data() + pos, data.size() - pos);
    in.SetDataSize(data.size() - pos);
    in.SetTime(10.0, -1.0);
    session.audio.SetBufferPointer(session.out.data(), session.out.size());
    ASSERT_EQ(session.decoder.GetFrame(&in, &session.audio), UMC::STATUS_OK);
    double start, end;
    session.audio.GetTime(start, end);
    EXPECT_EQ(start, 10.0);
    in.GetTime(start, end);
    EXPECT_NEAR(start, 10.0 + step, 1e-9);
    EXPECT_EQ(end, 0.0);
    float duration = 0;
    ASSERT_EQ(session.decoder.GetDuration(&duration), UMC::STATUS_OK);
    EXPECT_NEAR(duration, 6 * step, 1e-6);
}

TEST(MpegAudioInfo, StreamDescriptions) {
    struct Case {
        const char* file;
        int type, version, layer, channels, rate, bitrate;
        uint32_t mask;
    };
    for (const Case& k : {Case{"l2_48k.mp2", 288, 1, 2, 2, 48000, 384000, 0x3},
                          Case{"l3_mono64.mp3", 320, 1, 3, 1, 44100, 64000, 0x4},
                          Case{"l3_mpeg2_22k.mp3", 576, 2, 3, 2, 22050, 64000, 0x3},
                          Case{"l3_mpeg25_8k.mp3", 576, 2, 3, 1, 8000, 16000, 0x4},
                          Case{"l2_lsf_24k.mp2", 544, 2, 2, 2, 24000, 96000, 0x3}}) {
        SCOPED_TRACE(k.file);
        std::vector<uint8_t> data = Fixture(k.file);
        Session session;
        UMC::AudioCodecParams info;
        EXPECT_EQ(session.decoder.GetInfo(&info), UMC::Status(4));  // nothing decoded yet
        EXPECT_EQ(info.m_SuggestedInputSize, 4096u);
        EXPECT_EQ(info.m_SuggestedOutputSize, 13824u);
        EXPECT_EQ(info.m_info_out.channels, 0);
        ASSERT_EQ(session.Feed(data).status, UMC::STATUS_OK);
        ASSERT_EQ(session.decoder.GetInfo(&info), UMC::STATUS_OK);
        for (const UMC::AudioStreamInfo* s : {&info.m_info_in, &info.m_info_out}) {
            EXPECT_EQ(s->stream_type, k.type);
            EXPECT_EQ(s->version, k.version);
            EXPECT_EQ(s->layer, k.layer);
            EXPECT_EQ(s->channels, k.channels);
            EXPECT_EQ(s->sample_frequency, k.rate);
            EXPECT_EQ(s->bitrate, k.bitrate);
            EXPECT_EQ(s->channel_mask, k.mask);
            EXPECT_EQ(s->bitPerSample, 16);
        }
        EXPECT_EQ(info.m_frame_num, 1u);
        EXPECT_EQ(session.audio.m_iChannels, k.channels);
    }
}

TEST(MpegAudioInterface, ArgumentsAndStates) {
    UMC::MP3Decoder decoder;
    std::vector<uint8_t> bytes(64), out(1152 * 4);
    UMC::MediaData in, empty;
    in.SetBufferPointer(bytes.data(), bytes.size());
    in.SetDataSize(bytes.size());
    UMC::AudioData audio;
    audio.SetBufferPointer(out.data(), out.size());
    float duration;
    EXPECT_EQ(decoder.GetFrame(&in, &audio), UMC::STATUS_NOT_INITIALIZED);
    EXPECT_EQ(decoder.GetFrame(&empty, &audio), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.GetInfo(nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.Init(nullptr), UMC::STATUS_NULL_PTR);

    UMC::MP3DecoderParams bad;
    bad.check_next_header = 2;
    EXPECT_EQ(decoder.Init(&bad), UMC::STATUS_INIT_FAILED);
    bad.check_next_header = 0;
    bad.lfe_filter_mode = 5;
    EXPECT_EQ(decoder.Init(&bad), UMC::STATUS_INIT_FAILED);
    // Plain codec parameters are accepted with both fields 0.
    UMC::AudioCodecParams plain;
    EXPECT_EQ(decoder.Init(&plain), UMC::STATUS_OK);
    EXPECT_EQ(decoder.SetParams(&plain), UMC::STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(decoder.SetParams(nullptr), UMC::STATUS_NULL_PTR);
    EXPECT_EQ(decoder.GetDuration(&duration), UMC::STATUS_OK);
    EXPECT_EQ(duration, 0.0f);
    // Zero bytes hold no header: more data is needed, nothing is consumed.
    EXPECT_EQ(decoder.GetFrame(&in, &audio), UMC::STATUS_SYNC_NOT_FOUND);
    EXPECT_EQ(in.GetDataSize(), 3u);
    EXPECT_EQ(decoder.Close(), UMC::STATUS_OK);
    EXPECT_EQ(decoder.GetFrame(&in, &audio), UMC::STATUS_NOT_INITIALIZED);
}

}  // namespace
