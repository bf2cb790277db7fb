// The filters' sample allocator as the tests drive it (programs that include this link
// qm_filter_util).
#pragma once

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "VideoIO/FilterUtil/QMMemAllocator.h"

namespace qm::test {

// One allocator with the views the tests use. At the end its registered consumers are
// unregistered, then it is decommitted and released.
struct TestAllocator {
    explicit TestAllocator(const AM_MEDIA_TYPE* pmt = nullptr) {
        EXPECT_EQ(qm_DSFilters::CreateQMMemAllocator(pmt, TEXT("test allocator"), &mem), S_OK);
        impl = static_cast<qm_DSFilters::QMMemAllocator*>(
            static_cast<IMemAllocatorCallbackTemp*>(mem));
    }
    ~TestAllocator() {
        if (!mem) return;
        for (IConsumerToken* t : tokens) {
            impl->UnregisterConsumer(t);
            t->Release();
        }
        mem->Decommit();
        mem->Release();
    }
    TestAllocator(const TestAllocator&) = delete;
    TestAllocator& operator=(const TestAllocator&) = delete;

    HRESULT Set(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
        ALLOCATOR_PROPERTIES request{count, size, align, prefix}, actual{};
        return mem->SetProperties(&request, &actual);
    }
    // Set and committed.
    HRESULT Start(LONG count, LONG size, LONG align = 1, LONG prefix = 0) {
        const HRESULT hr = Set(count, size, align, prefix);
        return FAILED(hr) ? hr : mem->Commit();
    }
    // Committed and running: released samples with times are kept for the consumers.
    HRESULT StartStore(LONG count, LONG size) {
        const HRESULT hr = Start(count, size);
        return FAILED(hr) ? hr : impl->Start();
    }
    IMediaSample* Get(DWORD flags = AM_GBF_NOWAIT, HRESULT expected = S_OK) {
        IMediaSample* s = nullptr;
        EXPECT_EQ(mem->GetBuffer(&s, nullptr, nullptr, flags), expected);
        return s;
    }
    LONG Free() {
        LONG n = -1;
        EXPECT_EQ(impl->GetFreeCount(&n), S_OK);
        return n;
    }
    // Takes samples until none is left without waiting.
    std::vector<IMediaSample*> Drain() {
        std::vector<IMediaSample*> out;
        for (;;) {
            IMediaSample* s = nullptr;
            const HRESULT hr = mem->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT);
            if (hr != S_OK) {
                EXPECT_EQ(hr, VFW_E_TIMEOUT);
                return out;
            }
            out.push_back(s);
        }
    }
    void WaitForWaiters(LONG n) {
        while (impl->GetWaitingCount() < n) std::this_thread::yield();
    }
    IConsumerToken* Register() {
        IConsumerToken* t = nullptr;
        EXPECT_EQ(impl->RegisterConsumer(&t), S_OK);
        if (t) tokens.push_back(t);
        return t;
    }
    SampleMapStatistics Stats() {
        SampleMapStatistics s;
        EXPECT_EQ(impl->GetStatistics(&s), S_OK);
        return s;
    }

    IMemAllocator* mem = nullptr;
    qm_DSFilters::QMMemAllocator* impl = nullptr;
    std::vector<IConsumerToken*> tokens;
};

inline void ReleaseAll(std::vector<IMediaSample*>& samples) {
    for (IMediaSample* s : samples)
        if (s) s->Release();
    samples.clear();
}

}  // namespace qm::test
