#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "SDKs/CodecFramework/core/SampleBuffer.h"

namespace {

using namespace UMC;

MediaBufferParams Params(size_t block, uint32_t count) {
    MediaBufferParams p;
    p.m_prefInputBufferSize = block;
    p.m_numberOfFrames = count;
    return p;
}

Status Put(SampleBuffer& b, size_t size, double time, uint8_t fill, bool eos = false) {
    MediaData in;
    Status st = b.LockInputBuffer(&in);
    if (st != STATUS_OK) return st;
    std::memset(in.GetDataPointer(), fill, size);
    in.SetDataSize(size);
    in.SetTime(time, time + 1);
    return b.UnLockInputBuffer(&in, eos ? STATUS_END_OF_STREAM : STATUS_OK);
}

TEST(SampleBuffer, InitChecksAndRingSize) {
    SampleBuffer b;
    MediaReceiverParams wrong;
    EXPECT_EQ(b.Init(nullptr), STATUS_NULL_PTR);
    EXPECT_EQ(b.Init(&wrong), STATUS_NULL_PTR);
    MediaBufferParams p = Params(0, 5);
    EXPECT_EQ(b.Init(&p), STATUS_INIT_FAILED);
    p = Params(1024, 0);
    EXPECT_EQ(b.Init(&p), STATUS_INIT_FAILED);
    p = Params(1024, 20);
    ASSERT_EQ(b.Init(&p), STATUS_OK);
    EXPECT_EQ(b.GetRingSize(), (1024u + 184) * 20);
    p = Params(100, 1);
    p.m_prefOutputBufferSize = 500;
    ASSERT_EQ(b.Init(&p), STATUS_OK);  // at least 3 samples of the larger block
    EXPECT_EQ(b.GetRingSize(), (500u + 184) * 3);

    SampleBuffer fresh;
    MediaData d;
    EXPECT_EQ(fresh.LockInputBuffer(&d), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(fresh.LockOutputBuffer(&d), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(b.LockInputBuffer(nullptr), STATUS_NULL_PTR);
}

TEST(SampleBuffer, SamplesComeOutInOrderWithTimes) {
    SampleBuffer b;
    MediaBufferParams p = Params(1000, 4);
    ASSERT_EQ(b.Init(&p), STATUS_OK);
    MediaData out;
    EXPECT_EQ(b.LockOutputBuffer(&out), STATUS_NOT_ENOUGH_DATA);
    EXPECT_EQ(b.UnLockOutputBuffer(&out), STATUS_FAILED);  // nothing locked
    ASSERT_EQ(Put(b, 10, 1.0, 0xAA), STATUS_OK);
    ASSERT_EQ(Put(b, 20, 2.0, 0xBB), STATUS_OK);
    EXPECT_EQ(b.GetDataSize(), 30u);
    // Order, times and partial consumption under load: SampleBufferStressTest.
    ASSERT_EQ(b.LockOutputBuffer(&out), STATUS_OK);
    EXPECT_EQ(std::tuple(out.GetDataSize(), out.GetTime(), out.GetDataPointer()[9]),
              std::tuple(size_t(10), 1.0, uint8_t(0xAA)));
    // Consuming more than the sample holds is refused.
    MediaData bigger;
    std::vector<uint8_t> tmp(64);
    bigger.SetBufferPointer(tmp.data(), 64);
    EXPECT_EQ(b.UnLockOutputBuffer(&bigger), STATUS_FAILED);
}

TEST(SampleBuffer, EndOfStreamResetsAfterReport) {
    SampleBuffer b;
    MediaBufferParams p = Params(256, 3);
    ASSERT_EQ(b.Init(&p), STATUS_OK);
    ASSERT_EQ(Put(b, 16, 0.0, 1, true), STATUS_OK);
    MediaData out;
    ASSERT_EQ(b.LockOutputBuffer(&out), STATUS_OK);
    out.MoveDataPointer(16);
    ASSERT_EQ(b.UnLockOutputBuffer(&out), STATUS_OK);
    EXPECT_EQ(b.LockOutputBuffer(&out), STATUS_END_OF_STREAM);
    // The ring was reset: empty, and no end of stream any more.
    EXPECT_EQ(b.GetFreeSize(), b.GetRingSize());
    EXPECT_EQ(b.LockOutputBuffer(&out), STATUS_NOT_ENOUGH_DATA);
}

TEST(SampleBuffer, FullRingRefusesThenWrapsWhenRoomReturns) {
    SampleBuffer b;
    MediaBufferParams p = Params(1000, 4);
    ASSERT_EQ(b.Init(&p), STATUS_OK);
    // 900-byte samples take 1152 bytes each (data and header rounded to 128); a lock needs
    // 1000 + 312 contiguous bytes, so the fourth is refused.
    int written = 0;
    while (Put(b, 900, written, uint8_t(written)) == STATUS_OK) ++written;
    EXPECT_EQ(written, 3);
    MediaData in, out;
    EXPECT_EQ(b.LockInputBuffer(&in), STATUS_NOT_ENOUGH_BUFFER);
    auto consumeOne = [&](double expectedTime, uint8_t fill) {
        ASSERT_EQ(b.LockOutputBuffer(&out), STATUS_OK);
        EXPECT_EQ(out.GetTime(), expectedTime);
        EXPECT_EQ(out.GetDataSize(), 900u);
        EXPECT_EQ(out.GetDataPointer()[899], fill);
        out.MoveDataPointer(900);
        ASSERT_EQ(b.UnLockOutputBuffer(&out), STATUS_OK);
    };
    // One freed sample is not enough: the wrap gives the ring's tail to the last sample, and the
    // 1152 bytes at the start are still too few.
    consumeOne(0, 0);
    EXPECT_EQ(b.LockInputBuffer(&in), STATUS_NOT_ENOUGH_BUFFER);
    consumeOne(1, 1);
    ASSERT_EQ(Put(b, 900, 99, 0x77), STATUS_OK);
    consumeOne(2, 2);  // its record now runs to the ring end
    consumeOne(99, 0x77);
    EXPECT_EQ(b.GetFreeSize(), b.GetRingSize());
    EXPECT_EQ(b.GetDataSize(), 0u);
}

TEST(SampleBuffer, UnlockThatDoesNotFitFails) {
    SampleBuffer b;
    MediaBufferParams p = Params(500, 3);
    ASSERT_EQ(b.Init(&p), STATUS_OK);
    MediaData in;
    ASSERT_EQ(b.LockInputBuffer(&in), STATUS_OK);
    const size_t offered = in.GetBufferSize();
    // Claim more than the offered space plus the header margin allows.
    MediaData liar;
    liar.SetBufferPointer(in.GetDataPointer(), offered + 200);
    liar.SetDataSize(offered + 200);
    EXPECT_EQ(b.UnLockInputBuffer(&liar), STATUS_FAILED);
    EXPECT_EQ(b.GetDataSize(), 0u);
}

}  // namespace
