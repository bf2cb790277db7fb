// The time-shift store of the sample allocator: samples per second through release, keep,
// step and reclaim with three consumers (one reads every sample, one every fourth with a seek
// back now and then, one is paused and never reads, so the memory ceiling forces reclaiming).
#include <benchmark/benchmark.h>

#include "VideoIO/FilterUtil/QMMemAllocator.h"

namespace {

void BM_TimeShiftThreeConsumers(benchmark::State& state) {
    IMemAllocator* mem = nullptr;
    qm_DSFilters::CreateQMMemAllocator(nullptr, TEXT("bench"), &mem);
    auto* impl =
        static_cast<qm_DSFilters::QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
    ALLOCATOR_PROPERTIES request{4, 4096, 16, 0}, actual{};
    mem->SetProperties(&request, &actual);
    impl->SetMemoryLimit(double(state.range(0)) * 4096 / 1e6);  // about range(0) samples
    mem->Commit();
    impl->Start();
    IConsumerToken* tokens[3] = {};
    for (IConsumerToken*& t : tokens) impl->RegisterConsumer(&t);
    IConsumerTokenPrivate* paused = nullptr;
    tokens[2]->QueryInterface(IID_IConsumerTokenPrivate, reinterpret_cast<void**>(&paused));
    paused->SetState(State_Paused);

    REFERENCE_TIME time = 0;
    int64_t n = 0;
    for (auto _ : state) {
        IMediaSample* s = nullptr;
        if (mem->GetBuffer(&s, nullptr, nullptr, AM_GBF_NOWAIT) != S_OK) {
            state.SkipWithError("no sample");
            break;
        }
        time += 400000;
        s->SetTime(&time, nullptr);
        s->SetActualDataLength(1024);
        s->Release();  // kept
        IMediaSample* r = nullptr;
        if (SUCCEEDED(impl->GetNextSample(tokens[0], 0, &r))) r->Release();
        if (++n % 4 == 0) {
            if (n % 64 == 0 && SUCCEEDED(impl->GetSampleAtOrBefore(tokens[1], time - 4000000, &r)))
                r->Release();
            else if (SUCCEEDED(impl->GetNextSample(tokens[1], 0, &r)))
                r->Release();
        }
    }
    state.SetItemsProcessed(state.iterations());
    SampleMapStatistics stats;
    impl->GetStatistics(&stats);
    state.counters["reclaimed"] = double(stats.reclaimedTotal);
    paused->Release();
    for (IConsumerToken* t : tokens) {
        impl->UnregisterConsumer(t);
        t->Release();
    }
    mem->Decommit();
    mem->Release();
}
BENCHMARK(BM_TimeShiftThreeConsumers)->Arg(64)->Arg(1024);

}  // namespace
