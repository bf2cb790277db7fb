#include <gtest/gtest.h>

#include "SDKs/CodecFramework/core/AspectRatio.h"
#include "SDKs/CodecFramework/core/VideoDecoder.h"

namespace {

using namespace UMC;

class NullCodec : public BaseCodec {
public:
    Status GetFrame(MediaData*, MediaData*) override { return STATUS_NOT_ENOUGH_DATA; }
    Status Reset() override { return STATUS_OK; }
};

// A stage that copies the first byte of its input into its output, to see which stage ran.
class MarkStage : public NullCodec {
public:
    explicit MarkStage(uint8_t mark) : m_mark(mark) {}
    Status GetFrame(MediaData*, MediaData* out) override {
        out->GetBufferPointer()[0] = m_mark;
        return STATUS_OK;
    }
    uint8_t m_mark;
};

class TestDecoder : public VideoDecoder {
public:
    Status GetFrame(MediaData*, MediaData*) override { return STATUS_NOT_ENOUGH_DATA; }
    Status Reset() override { return STATUS_OK; }
    Status ResetSkipCount() override { return STATUS_OK; }
    Status SkipVideoFrame(int32_t) override { return STATUS_OK; }
    uint32_t GetNumOfSkippedFrames() override { return 0; }
    using VideoDecoder::SetOwnPostProcessing;
};

TEST(BaseCodec, AllocatorAdoptionRules) {
    NullCodec codec;
    EXPECT_EQ(codec.Init(nullptr), STATUS_NULL_PTR);

    // No allocator named: the codec creates and owns one; a second Init keeps it.
    BaseCodecParams params;
    ASSERT_EQ(codec.Init(&params), STATUS_OK);
    EXPECT_TRUE(codec.OwnsMemoryAllocator());
    MemoryAllocator* own = codec.GetMemoryAllocator();
    ASSERT_EQ(codec.Init(&params), STATUS_OK);
    EXPECT_EQ(codec.GetMemoryAllocator(), own);

    // An outside allocator while the codec owns a different one: refused.
    DefaultMemoryAllocator outside1, outside2;
    params.lpMemoryAllocator = &outside1;
    EXPECT_EQ(codec.Init(&params), STATUS_INIT_FAILED);

    // After Close, outside allocators are adopted, and replace each other.
    ASSERT_EQ(codec.Close(), STATUS_OK);
    ASSERT_EQ(codec.Init(&params), STATUS_OK);
    EXPECT_EQ(codec.GetMemoryAllocator(), &outside1);
    EXPECT_FALSE(codec.OwnsMemoryAllocator());
    params.lpMemoryAllocator = &outside2;
    ASSERT_EQ(codec.Init(&params), STATUS_OK);
    EXPECT_EQ(codec.GetMemoryAllocator(), &outside2);

    // Asking for a default while an outside one is in use: refused.
    params.lpMemoryAllocator = nullptr;
    EXPECT_EQ(codec.Init(&params), STATUS_INIT_FAILED);

    BaseCodecParams info;
    ASSERT_EQ(codec.GetInfo(&info), STATUS_OK);
    EXPECT_EQ(info.lpMemoryAllocator, &outside2);
    EXPECT_EQ(codec.GetInfo(nullptr), STATUS_NULL_PTR);
    EXPECT_EQ(codec.SetParams(&info), STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(codec.SetParams(nullptr), STATUS_NULL_PTR);
}

TEST(VideoDecoder, StreamInfoAndPostProcessing) {
    TestDecoder decoder;
    VideoDecoderParams params;
    params.info.clip_width = 720;
    params.info.stream_type = MPEG2_VIDEO;
    ASSERT_EQ(decoder.Init(&params), STATUS_OK);

    VideoDecoderParams info;
    ASSERT_EQ(decoder.GetInfo(&info), STATUS_OK);
    EXPECT_EQ(info.info.clip_width, 720);
    EXPECT_EQ(info.lpMemoryAllocator, nullptr);  // owned allocators are not handed out

    BaseCodecParams plain;
    EXPECT_EQ(decoder.SetParams(&plain), STATUS_NULL_PTR);  // wrong class
    params.info.clip_width = 1280;
    EXPECT_EQ(decoder.SetParams(&params), STATUS_OK);
    ASSERT_EQ(decoder.GetInfo(&info), STATUS_OK);
    EXPECT_EQ(info.info.clip_width, 1280);
    EXPECT_EQ(decoder.GetUserData(nullptr), STATUS_NOT_IMPLEMENTED);

    uint8_t byte = 0;
    VideoData out;
    out.MediaData::SetBufferPointer(&byte, 1);  // a byte to mark, no planes needed
    EXPECT_EQ(decoder.PreviewLastFrame(&out), STATUS_NOT_INITIALIZED);
    decoder.SetOwnPostProcessing(new MarkStage(1));  // destroyed with the decoder (ASan checks)
    EXPECT_EQ(decoder.PreviewLastFrame(&out), STATUS_OK);
    EXPECT_EQ(byte, 1);
    MarkStage given(2);
    EXPECT_EQ(decoder.PreviewLastFrame(&out, &given), STATUS_OK);
    EXPECT_EQ(byte, 2);
}

TEST(AspectRatio, Reduction) {
    // Frame size and display ratio give the sample ratio. Square pixels must come out as 1:1:
    // 17280:17280 halves to 135:135, then 3 and 5 divide it to the end (a term equal to the prime
    // is still divided).
    const struct {
        int32_t width, height, dw, dh, sw, sh;
    } frames[] = {{720, 576, 4, 3, 16, 15}, {720, 480, 16, 9, 32, 27}, {1920, 1080, 16, 9, 1, 1},
                  {720, 480, 3, 2, 1, 1},   {640, 480, 4, 3, 1, 1},    {352, 288, 4, 3, 12, 11}};
    for (const auto& f : frames) {
        int32_t w = 0, h = 0;
        CalculateSampleAspectRatio(f.width, f.height, f.dw, f.dh, &w, &h);
        EXPECT_EQ(w, f.sw) << f.width << "x" << f.height;
        EXPECT_EQ(h, f.sh) << f.width << "x" << f.height;
    }
    // The walk ends once a term is below the prime: 61 is never tried; 3 divides 15 and 21, and
    // 5:7 has no common prime left; 7 still divides 49:49 to the end.
    const int64_t pairs[][4] = {{61 * 67, 61 * 71, 61 * 67, 61 * 71},
                                {15, 21, 5, 7},
                                {49, 49, 1, 1},
                                {59 * 2, 59 * 6, 1, 3}};
    for (const auto& r : pairs) {
        int64_t a = r[0], b = r[1];
        ReduceAspectRatio(&a, &b);
        EXPECT_EQ(a, r[2]) << r[0];
        EXPECT_EQ(b, r[3]) << r[1];
    }
}

}  // namespace
