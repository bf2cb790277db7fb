// The codec framework's lock: the states its owners rely on.
#include <gtest/gtest.h>

#include "SDKs/CodecFramework/core/Mutex.h"

namespace {

using namespace UMC;

TEST(Mutex, StatesAndReentry) {
    Mutex m;
    EXPECT_EQ(m.Lock(), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(m.Unlock(), STATUS_NOT_INITIALIZED);
    EXPECT_EQ(MutexLock(nullptr), STATUS_NULL_PTR);
    EXPECT_EQ(MutexInit(nullptr), STATUS_NULL_PTR);

    // The owners' first use initialises; the lock is re-entrant on one thread.
    ASSERT_EQ(m.LockOrInit(), STATUS_OK);
    EXPECT_TRUE(m.IsInitialized());
    EXPECT_EQ(m.LockOrInit(), STATUS_OK);
    EXPECT_EQ(m.Unlock(), STATUS_OK);
    EXPECT_EQ(m.Unlock(), STATUS_OK);

    // Delete returns to the first state; a later first use works again.
    MutexDelete(&m);
    EXPECT_FALSE(m.IsInitialized());
    EXPECT_EQ(m.Lock(), STATUS_NOT_INITIALIZED);
    {
        AutomaticMutex scoped(m);
        EXPECT_TRUE(m.IsInitialized());
    }
    EXPECT_EQ(MutexLock(&m), STATUS_OK);
    EXPECT_EQ(MutexUnlock(&m), STATUS_OK);
}

}  // namespace
