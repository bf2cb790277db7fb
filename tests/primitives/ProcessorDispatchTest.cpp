#include <gtest/gtest.h>

#include <cstring>

#include "primitives/dispatch/Cpuid.h"
#include "primitives/dispatch/ProcessorDispatch.h"

namespace {

// A processor described by its identification registers.
struct FakeCpu {
    char vendor[13] = "GenuineIntel";
    uint32_t maxLeaf = 0xD;
    uint32_t leaf1Eax = 0x000906EA;  // family 6
    uint32_t leaf1Ecx = 0;
    uint32_t leaf1Edx = 0;
    uint64_t xcr0 = 0;
    bool available = true;
    uint32_t leaf2[4] = {0, 0, 0, 0};
    SpCpuidRegs leaf4[8] = {};
    uint32_t ext20000001Edx = 0;
};

FakeCpu g_cpu;

bool FakeCpuid(uint32_t leaf, uint32_t subleaf, SpCpuidRegs* r) {
    *r = {};
    if (!g_cpu.available) return false;
    switch (leaf) {
        case 0:
            r->eax = g_cpu.maxLeaf;
            std::memcpy(&r->ebx, g_cpu.vendor, 4);
            std::memcpy(&r->edx, g_cpu.vendor + 4, 4);
            std::memcpy(&r->ecx, g_cpu.vendor + 8, 4);
            break;
        case 1:
            r->eax = g_cpu.leaf1Eax;
            r->ecx = g_cpu.leaf1Ecx;
            r->edx = g_cpu.leaf1Edx;
            break;
        case 2:
            r->eax = g_cpu.leaf2[0];
            r->ebx = g_cpu.leaf2[1];
            r->ecx = g_cpu.leaf2[2];
            r->edx = g_cpu.leaf2[3];
            break;
        case 4:
            if (subleaf < 8) *r = g_cpu.leaf4[subleaf];
            break;
        case 0x20000001:
            r->edx = g_cpu.ext20000001Edx;
            break;
    }
    return true;
}

uint64_t FakeXgetbv(uint32_t) {
    return g_cpu.xcr0;
}

const SpCpuidSource kFake = {FakeCpuid, FakeXgetbv};

constexpr uint32_t kEdxMmxSseSse2 = (1u << 23) | (1u << 25) | (1u << 26);
constexpr uint32_t kSse3 = 1u << 0, kSsse3 = 1u << 9, kMovbe = 1u << 22, kSse41 = 1u << 19,
                   kSse42 = 1u << 20, kOsxsave = 1u << 27, kAvx = 1u << 28, kAes = 1u << 25,
                   kClmul = 1u << 1;

class ProcessorDispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_cpu = FakeCpu{};
        g_cpu.leaf1Edx = kEdxMmxSseSse2;
        spSetCpuidSource(&kFake);
    }
    void TearDown() override {
        spSetCpuidSource(nullptr);
        spInitProcessorDispatch();
    }
};

struct ClassRow {
    const char* name;
    void (*setup)();
    int32_t expectedClass;
    SpStatus expectedStatus;
    uint64_t enabledMaskAnd;  // the detected features that stay enabled
};

void Ecx(uint32_t ecx, uint64_t xcr0) {
    g_cpu.leaf1Ecx = ecx;
    g_cpu.xcr0 = xcr0;
}

TEST_F(ProcessorDispatchTest, EveryRowOfTheClassTable) {
    const ClassRow rows[] = {
        {"sse2 only", [] {}, 0, 36, 0x7},
        {"sse3", [] { Ecx(kSse3, 0); }, 1, 0, 0xF},
        {"ssse3", [] { Ecx(kSse3 | kSsse3, 0); }, 2, 0, 0x1F},
        {"atom: movbe+ssse3", [] { Ecx(kSse3 | kSsse3 | kMovbe, 0); }, 3, 0, 0x3F},
        {"sse4.1", [] { Ecx(kSse3 | kSsse3 | kSse41 | kSse42 | kAes | kClmul, 0); }, 4, 0, 0xCDF},
        // The permission is given back after each row: the next row must reach class 5 again.
        {"avx not permitted",
         [] {
             Ecx(kSse3 | kSsse3 | kSse41 | kOsxsave | kAvx, 6);
             spSetWideVectorPermission(0);
         },
         4, 0, 0xCDF},
        {"avx with os save",
         [] { Ecx(kSse3 | kSsse3 | kMovbe | kSse41 | kSse42 | kOsxsave | kAvx | kAes, 6); }, 5, 0,
         0xFDF},
        {"avx without os save", [] { Ecx(kSse3 | kSsse3 | kSse41 | kOsxsave | kAvx, 2); }, 4, 0,
         0xCDF},
        {"avx, no osxsave bit", [] { Ecx(kSse3 | kSsse3 | kSse41 | kAvx, 6); }, 4, 0, 0xCDF},
        {"other vendor: by features, with a warning",
         [] {
             std::memcpy(g_cpu.vendor, "AuthenticAMD", 13);
             Ecx(kSse3 | kSsse3 | kSse41, 0);
         },
         4, 20, 0xCDF},
        {"detection fails", [] { g_cpu.available = false; }, 0, spStsCpuDetectErr, 0x7},
    };
    for (const ClassRow& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        row.setup();
        EXPECT_EQ(spInitProcessorDispatch(), row.expectedStatus);
        spSetWideVectorPermission(1);
        EXPECT_EQ(spGetProcessorClass(), row.expectedClass);
        EXPECT_EQ(spGetLowPowerFlag(), row.expectedClass == 3 ? 1 : 0);
        uint64_t detected = 0;  // stays 0 when detection fails
        spGetProcessorFeatures(&detected);
        detected |= 7;
        EXPECT_TRUE(spIsFeatureEnabled(detected & row.enabledMaskAnd));
        if (const uint64_t disabled = (detected | 8) & ~row.enabledMaskAnd) {
            EXPECT_FALSE(spIsFeatureEnabled(disabled));
        }
    }
}

// The mask is cached until the source changes; bit 12 comes from leaf 0x20000001 on family 0xB.
TEST_F(ProcessorDispatchTest, FeatureMaskBits) {
    g_cpu.leaf1Ecx = kSse3 | kSsse3 | kMovbe | kSse41 | kSse42 | kOsxsave | kAvx | kAes | kClmul;
    g_cpu.xcr0 = 0x7;
    g_cpu.ext20000001Edx = 2;
    uint64_t m = 0;
    ASSERT_EQ(spGetProcessorFeatures(&m), 0);
    EXPECT_EQ(m, 0xFFFu);
    g_cpu.leaf1Ecx = 0;
    ASSERT_EQ(spGetProcessorFeatures(&m), 0);
    EXPECT_EQ(m, 0xFFFu);
    spSetCpuidSource(&kFake);
    g_cpu.leaf1Eax = 0x00000B10;  // family 0xB
    ASSERT_EQ(spGetProcessorFeatures(&m), 0);
    EXPECT_EQ(m, 0x1007u);
}

SpCpuidRegs CacheLeaf(uint32_t type, uint32_t ways, uint32_t partitions, uint32_t line,
                      uint32_t sets) {
    return {type, ((ways - 1) << 22) | ((partitions - 1) << 12) | (line - 1), sets - 1, 0};
}

// Leaf 4 skips instruction caches and stops at its end; leaf 2 reads descriptors (not from a
// register with bit 31 set). No usable description: size 0 and a warning, 36 without Intel's
// leaf 2, else 37.
TEST_F(ProcessorDispatchTest, LargestCache) {
    const struct {
        const char* name;
        void (*setup)();
        SpStatus status;
        int32_t size;
    } cases[] = {
        {"leaf 4",
         [] {
             g_cpu.leaf4[0] = CacheLeaf(1, 8, 1, 64, 64);      // 32 KiB data
             g_cpu.leaf4[1] = CacheLeaf(2, 64, 1, 64, 1024);   // 4 MiB instruction: ignored
             g_cpu.leaf4[2] = CacheLeaf(3, 16, 1, 64, 2048);   // 2 MiB unified
             g_cpu.leaf4[3] = CacheLeaf(0, 1, 1, 1, 1);        // end of list
             g_cpu.leaf4[4] = CacheLeaf(3, 16, 1, 64, 65536);  // after the end: never read
         },
         0, 2 * 1024 * 1024},
        {"leaf 2: 0x41 and 0x49, 0xEC in a register with bit 31",
         [] {
             g_cpu.maxLeaf = 3;
             g_cpu.leaf2[0] = 0x00410001;
             g_cpu.leaf2[1] = 0x00000049;
             g_cpu.leaf2[3] = 0x800000EC;
         },
         0, 4194304},
        {"only an instruction cache", [] { g_cpu.leaf4[0] = CacheLeaf(2, 8, 1, 64, 64); }, 37, 0},
        {"leaf 2 must be read once: low byte other than 1",
         [] { g_cpu.maxLeaf = 3, g_cpu.leaf2[0] = 0x00410002; }, 37, 0},
        {"a prefetch descriptor, no cache",
         [] { g_cpu.maxLeaf = 3, g_cpu.leaf2[0] = 1, g_cpu.leaf2[1] = 0xF0; }, 37, 0},
        {"no leaf 2", [] { g_cpu.maxLeaf = 1; }, 36, 0},
        {"not Intel",
         [] {
             std::memcpy(g_cpu.vendor, "AuthenticAMD", 13);
             g_cpu.leaf4[0] = CacheLeaf(3, 16, 1, 64, 2048);
         },
         36, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.setup();
        int32_t size = -1;
        EXPECT_EQ(spGetLargestCacheSize(&size), c.status);
        EXPECT_EQ(size, c.size);
    }
    // The result is cached until the source changes.
    g_cpu.leaf4[0] = CacheLeaf(3, 16, 1, 64, 16384);
    int32_t size = 0;
    EXPECT_EQ(spGetLargestCacheSize(&size), 36);
    EXPECT_EQ(size, 0);
    spSetCpuidSource(&kFake);
    EXPECT_EQ(spGetLargestCacheSize(&size), 36);  // still not Intel
    std::memcpy(g_cpu.vendor, "GenuineIntel", 13);
    spSetCpuidSource(&kFake);
    EXPECT_EQ(spGetLargestCacheSize(&size), 0);
    EXPECT_EQ(size, 16 * 1024 * 1024);
}

TEST(ProcessorDispatchHardware, RealProcessorChoosesAClass) {
    EXPECT_GE(spInitProcessorDispatch(), 0);
    EXPECT_GE(spGetProcessorClass(), 0);
    EXPECT_LE(spGetProcessorClass(), 5);
    int32_t size = 0;
    if (spGetLargestCacheSize(&size) == 0) {
        EXPECT_GT(size, 0);
    }
}

}  // namespace
