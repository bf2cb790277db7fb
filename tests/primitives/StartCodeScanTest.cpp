#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "primitives/VideoCoding.h"
#include "primitives/VideoCodingKernels.h"
#include "tests/support/KernelCheck.h"
#include "tests/support/Random.h"

namespace {

using Fn = sp::kernels::FindStartCodeFn;
using qm::test::Rng;

// Byte by byte: the definition every implementation must agree with.
size_t Naive(const uint8_t* p, size_t n) {
    for (size_t i = 0; i + 3 < n; ++i)
        if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 1) return i;
    return n;
}

// The reference and every variant this machine runs, each on buffers of exactly the size given
// (heap blocks of that size, so a read past the end shows under ASan).
template <class Check>
void EveryImplementation(Check check) {
    {
        SCOPED_TRACE("plain");
        check(sp::kernels::findStartCode.Reference());
    }
    qm::test::ForEachVariant(sp::kernels::findStartCode, [&](Fn* fn, Fn*) { check(fn); });
}

size_t Find(Fn* fn, const std::vector<uint8_t>& bytes) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + !bytes.size()]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    return fn(exact.get(), bytes.size());
}

// Bytes that are mostly 0 and 1, so prefixes, near misses and runs of zeros are everywhere.
std::vector<uint8_t> Dense(Rng& rng, size_t n) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) {
        const int r = rng.Int(0, 9);
        b = uint8_t(r < 5 ? 0 : r < 8 ? 1 : rng.Int(2, 255));
    }
    return v;
}

TEST(StartCodeScan, PlantedPrefixAtEveryPositionAndSize) {
    EveryImplementation([](Fn* fn) {
        for (size_t n = 0; n <= 100; ++n) {
            EXPECT_EQ(Find(fn, std::vector<uint8_t>(n, 0xFF)), n) << "size " << n;
            for (size_t at = 0; at + 3 <= n; ++at) {
                std::vector<uint8_t> v(n, 0x80);
                v[at] = 0, v[at + 1] = 0, v[at + 2] = 1;
                if (at + 3 < n) v[at + 3] = 0xB3;
                // Only a prefix with its value byte inside the buffer counts.
                EXPECT_EQ(Find(fn, v), at + 3 < n ? at : n) << "size " << n << " at " << at;
            }
        }
    });
}

TEST(StartCodeScan, BufferEndsInsideAPrefix) {
    const std::vector<uint8_t> code = {0, 0, 1, 0xB5};
    EveryImplementation([&](Fn* fn) {
        for (size_t lead : {0u, 1u, 13u, 29u, 30u, 31u, 32u, 33u, 61u, 62u, 63u, 64u, 65u, 200u})
            for (size_t cut = 1; cut <= 4; ++cut) {
                std::vector<uint8_t> v(lead, 0x47);
                v.insert(v.end(), code.begin(), code.begin() + ptrdiff_t(cut));
                EXPECT_EQ(Find(fn, v), cut == 4 ? lead : v.size()) << lead << " + " << cut;
            }
    });
}

TEST(StartCodeScan, RunsOfZerosAndNearMisses) {
    EveryImplementation([](Fn* fn) {
        // The prefix is the last two zeros of a run.
        EXPECT_EQ(Find(fn, {0, 0, 0, 0, 0, 1, 0}), 3u);
        // 00 01, 00 00 02 and 01 00 01 are not prefixes.
        std::vector<uint8_t> misses;
        for (int i = 0; i < 40; ++i) misses.insert(misses.end(), {0, 1, 0, 0, 2, 1, 0, 1});
        EXPECT_EQ(Find(fn, misses), misses.size());
        misses.insert(misses.end(), {0, 0, 1, 0});
        EXPECT_EQ(Find(fn, misses), misses.size() - 4);
    });
}

TEST(StartCodeScan, RandomBuffersMatchTheByteScan) {
    EveryImplementation([](Fn* fn) {
        Rng rng(17);
        for (int trial = 0; trial < 3000; ++trial) {
            const size_t n = size_t(rng.Int(0, trial < 2000 ? 80 : 700));
            std::vector<uint8_t> v = Dense(rng, n);
            // Sparse buffers too: long stretches with no prefix before the first one.
            if (trial % 2)
                for (size_t i = 0; i < n / 2; ++i) v[i] |= 0x10;
            ASSERT_EQ(Find(fn, v), Naive(v.data(), n)) << "trial " << trial << " size " << n;
        }
    });
}

TEST(StartCodeScan, EntryChecksItsArguments) {
    const uint8_t bytes[] = {7, 0, 0, 1, 0xB8, 0};
    int offset = -1;
    EXPECT_EQ(vcFindStartCode(bytes, 6, &offset), spStsNoErr);
    EXPECT_EQ(offset, 1);
    EXPECT_EQ(vcFindStartCode(bytes, 4, &offset), spStsNoErr);
    EXPECT_EQ(offset, 4);
    offset = -1;
    EXPECT_EQ(vcFindStartCode(nullptr, 6, &offset), spStsNullPtrErr);
    EXPECT_EQ(vcFindStartCode(bytes, 6, nullptr), spStsNullPtrErr);
    EXPECT_EQ(vcFindStartCode(bytes, 0, &offset), spStsSizeErr);
    EXPECT_EQ(vcFindStartCode(bytes, -3, &offset), spStsSizeErr);
    EXPECT_EQ(offset, -1);
}

}  // namespace
