// A producer and a consumer thread share one SampleBuffer: every byte and time must come out in
// order, partial consumption included, and the end of stream must arrive after the last sample.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "SDKs/CodecFramework/core/SampleBuffer.h"
#include "tests/support/Random.h"

namespace {

uint8_t ByteAt(uint64_t position) {
    return uint8_t((position * 2654435761u) >> 13);
}

TEST(SampleBufferStress, ProducerAndConsumerKeepOrder) {
    UMC::SampleBuffer buffer;
    UMC::MediaBufferParams params;
    params.m_prefInputBufferSize = 4096;
    params.m_numberOfFrames = 6;
    ASSERT_EQ(buffer.Init(&params), UMC::STATUS_OK);

    constexpr int kSamples = 20000;
    std::atomic<bool> failed{false};

    std::thread producer([&] {
        qm::test::Rng rng(7);
        uint64_t position = 0;
        for (int i = 0; i < kSamples && !failed; ++i) {
            UMC::MediaData in;
            UMC::Status st;
            while ((st = buffer.LockInputBuffer(&in)) == UMC::STATUS_NOT_ENOUGH_BUFFER)
                std::this_thread::yield();
            if (st != UMC::STATUS_OK || in.GetBufferSize() < 4096) {
                failed = true;
                break;
            }
            const size_t size = size_t(rng.Int(1, 4096));
            uint8_t* p = in.GetDataPointer();
            for (size_t k = 0; k < size; ++k) p[k] = ByteAt(position + k);
            position += size;
            in.SetDataSize(size);
            in.SetTime(i * 0.5, i * 0.5 + 0.25);
            in.SetFrameType(1 + i % 4);
            const bool last = i == kSamples - 1;
            if (buffer.UnLockInputBuffer(&in, last ? UMC::STATUS_END_OF_STREAM : UMC::STATUS_OK) !=
                UMC::STATUS_OK)
                failed = true;
        }
    });

    qm::test::Rng rng(8);
    uint64_t position = 0;
    int samples = 0;
    bool ended = false;
    while (!ended && !failed) {
        UMC::MediaData out;
        UMC::Status st = buffer.LockOutputBuffer(&out);
        if (st == UMC::STATUS_NOT_ENOUGH_DATA) {
            std::this_thread::yield();
            continue;
        }
        if (st == UMC::STATUS_END_OF_STREAM) {
            ended = true;
            break;
        }
        ASSERT_EQ(st, UMC::STATUS_OK);
        const uint8_t* p = out.GetDataPointer();
        // The start time of a partly consumed sample advances with what the consumer set.
        EXPECT_EQ(out.GetFrameType(), 1 + samples % 4);
        const size_t size = out.GetDataSize();
        for (size_t k = 0; k < size; ++k) {
            if (p[k] != ByteAt(position + k)) {
                ADD_FAILURE() << "byte " << position + k << " differs";
                failed = true;
                break;
            }
        }
        double start, end;
        out.GetTime(start, end);
        EXPECT_DOUBLE_EQ(start, samples * 0.5) << "sample " << samples;
        EXPECT_DOUBLE_EQ(end, samples * 0.5 + 0.25);
        // Consume the sample in one or two pieces.
        const size_t first = rng.Bool() ? size : size_t(rng.Int(0, int(size)));
        if (first < size) {
            out.MoveDataPointer(ptrdiff_t(first));
            out.SetTime(start + 0.1, end);
            ASSERT_EQ(buffer.UnLockOutputBuffer(&out), UMC::STATUS_OK);
            UMC::MediaData rest;
            ASSERT_EQ(buffer.LockOutputBuffer(&rest), UMC::STATUS_OK);
            ASSERT_EQ(rest.GetDataSize(), size - first);
            EXPECT_TRUE(std::memcmp(rest.GetDataPointer(), p + first, size - first) == 0);
            EXPECT_DOUBLE_EQ(rest.GetTime(), start + 0.1);
            rest.MoveDataPointer(ptrdiff_t(size - first));
            ASSERT_EQ(buffer.UnLockOutputBuffer(&rest), UMC::STATUS_OK);
        } else {
            out.MoveDataPointer(ptrdiff_t(size));
            ASSERT_EQ(buffer.UnLockOutputBuffer(&out), UMC::STATUS_OK);
        }
        position += size;
        ++samples;
    }
    producer.join();
    EXPECT_FALSE(failed);
    EXPECT_TRUE(ended);
    EXPECT_EQ(samples, kSamples);
    EXPECT_EQ(buffer.GetFreeSize(), buffer.GetRingSize());
}

}  // namespace
