#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "SDKs/CodecFramework/core/AudioData.h"
#include "SDKs/CodecFramework/core/MediaData.h"
#include "SDKs/CodecFramework/core/VideoData.h"

namespace {

using namespace UMC;

TEST(MediaData, MoveDataPointerBounds) {
    std::vector<uint8_t> mem(100);
    MediaData d;
    d.SetBufferPointer(mem.data(), mem.size());
    ASSERT_EQ(d.SetDataSize(60), STATUS_OK);
    EXPECT_EQ(d.SetDataSize(101), STATUS_FAILED);
    ASSERT_EQ(d.MoveDataPointer(10), STATUS_OK);
    // The data may now grow only to the end of the buffer.
    EXPECT_EQ(d.SetDataSize(91), STATUS_FAILED);
    EXPECT_EQ(d.SetDataSize(50), STATUS_OK);
    EXPECT_EQ(d.MoveDataPointer(51), STATUS_FAILED);  // one more than held: refused, unchanged
    EXPECT_EQ(d.GetDataPointer(), mem.data() + 10);
    EXPECT_EQ(d.GetDataSize(), 50u);
    EXPECT_EQ(d.MoveDataPointer(-11), STATUS_FAILED);  // before the buffer start
    EXPECT_EQ(d.MoveDataPointer(-10), STATUS_OK);      // exactly back to the start
    EXPECT_EQ(d.GetDataSize(), 60u);
    EXPECT_EQ(d.MoveDataPointer(60), STATUS_OK);  // equal to the size: empties it
    EXPECT_EQ(d.GetDataSize(), 0u);
}

TEST(MediaData, FreshAllocOwnsAndCopiesDoNot) {
    MediaData d;
    double start = 0, end = 0;
    d.GetTime(start, end);
    EXPECT_EQ(std::tuple(start, end), std::tuple(-1.0, -1.0));  // no time
    EXPECT_EQ(d.SetDataSize(1), STATUS_NULL_PTR);
    EXPECT_EQ(d.Alloc(0), STATUS_OK);
    EXPECT_EQ(d.GetBufferPointer(), nullptr);
    ASSERT_EQ(d.Alloc(64), STATUS_OK);
    EXPECT_TRUE(d.OwnsBuffer());
    d.SetTime(1.5, 2.5);
    d.SetFrameType(B_PICTURE);
    d.SetFrameType(7);  // ignored
    EXPECT_EQ(d.GetFrameType(), B_PICTURE);
    {
        MediaData copy(d);
        EXPECT_FALSE(copy.OwnsBuffer());
        EXPECT_EQ(copy.GetBufferPointer(), d.GetBufferPointer());
        EXPECT_EQ(copy.GetTime(), 1.5);
    }  // the copy's destruction leaves the memory alone (ASan would see a double free)
    d.GetBufferPointer()[63] = 1;
    d.Reset();
    EXPECT_EQ(d.GetTime(), -1.0);
    EXPECT_EQ(d.GetFrameType(), 0);
    EXPECT_EQ(d.Close(), STATUS_OK);
    EXPECT_FALSE(d.OwnsBuffer());
}

TEST(MediaData, MoveDataToCopiesWhatFits) {
    std::vector<uint8_t> a(10), b(8, 0);
    for (int i = 0; i < 10; ++i) a[size_t(i)] = uint8_t(i + 1);
    MediaData src, dst, empty;
    src.SetBufferPointer(a.data(), a.size());
    src.SetDataSize(10);
    src.SetTime(3.0, 4.0);
    src.SetFrameType(P_PICTURE);
    src.SetDamaged(1);
    dst.SetBufferPointer(b.data(), b.size());
    dst.SetDataSize(3);
    ASSERT_EQ(src.MoveDataTo(&dst), STATUS_OK);
    EXPECT_EQ(dst.GetDataSize(), 8u);
    EXPECT_EQ(b[3], 1);
    EXPECT_EQ(b[7], 5);
    EXPECT_EQ(src.GetDataSize(), 5u);
    EXPECT_EQ(*src.GetDataPointer(), 6);
    EXPECT_EQ(dst.GetTime(), 3.0);
    EXPECT_EQ(dst.GetFrameType(), P_PICTURE);
    EXPECT_EQ(dst.GetDamaged(), 1);
    EXPECT_EQ(empty.MoveDataTo(&dst), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(src.MoveDataTo(nullptr), STATUS_NULL_PTR);
    EXPECT_EQ(src.MoveDataTo(&empty), STATUS_NULL_PTR);
}

TEST(ClassIdentity, CastTests) {
    VideoData v;
    AudioData a;
    MediaData* pv = &v;
    EXPECT_TRUE(pv->TryCastById(&VideoData::ClassName));
    EXPECT_TRUE(pv->TryCastById(&MediaData::ClassName));
    EXPECT_FALSE(pv->TryCastById(&AudioData::ClassName));
    EXPECT_TRUE(pv->TryCastByName([] { return "MediaData"; }));
    EXPECT_FALSE(pv->TryCastByName([] { return "AudioData"; }));
    EXPECT_FALSE(pv->TryCastByName(nullptr));
    EXPECT_EQ(DynamicCast<VideoData>(pv), &v);
    EXPECT_EQ(DynamicCast<VideoData>(static_cast<MediaData*>(&a)), nullptr);
    EXPECT_EQ(DynamicCast<VideoData>(static_cast<MediaData*>(nullptr)), nullptr);
}

}  // namespace
