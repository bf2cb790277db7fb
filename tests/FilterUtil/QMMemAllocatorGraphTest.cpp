#include <gtest/gtest.h>

#include <vector>

#include "VideoIO/FilterUtil/QMMemAllocator.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "platform/graph/Sink.h"
#include "tests/support/VideoTypes.h"

using qm::graph::FilterGraph;
using qm::graph::PushSource;
using qm::graph::SampleSpec;
using qm::graph::Sink;
using qm_DSFilters::CreateQMMemAllocator;
using qm_DSFilters::QMMemAllocator;

namespace {

// The allocator offered by a downstream input pin serves the push source through the graph:
// negotiated at connection, committed by the run, its samples carry the data and times to the
// sink, and the stop decommits it with every sample back.
TEST(QMMemAllocatorGraphTest, ServesAPushSourceAsTheDownstreamAllocator) {
    const LONG objectsBefore = CBaseObject::ObjectsActive();
    {
        const CMediaType type = qm::test::VideoInfoType(32, 32);
        IMemAllocator* mem = nullptr;
        ASSERT_EQ(CreateQMMemAllocator(&type, TEXT("input pin allocator"), &mem), S_OK);
        auto* impl = static_cast<QMMemAllocator*>(static_cast<IMemAllocatorCallbackTemp*>(mem));
        FilterGraph* graph = nullptr;
        PushSource* source = nullptr;
        Sink* sink = nullptr;
        ASSERT_EQ(FilterGraph::Create(&graph), S_OK);
        ASSERT_EQ(PushSource::Create({type}, {2, 4096, 1, 0}, &source), S_OK);
        ASSERT_EQ(Sink::Create({type}, &sink), S_OK);
        sink->UseAllocator(mem);
        ASSERT_EQ(graph->AddFilter(source, TEXT("source")), S_OK);
        ASSERT_EQ(graph->AddFilter(sink, TEXT("sink")), S_OK);
        ASSERT_EQ(graph->ConnectFilters(source, sink), S_OK);
        EXPECT_EQ(source->Allocator(), mem);
        EXPECT_EQ(source->ActualProperties().cbBuffer, 4096);
        EXPECT_FALSE(impl->IsCommitted());
        ASSERT_EQ(graph->Run(), S_OK);
        EXPECT_TRUE(impl->IsCommitted());
        std::vector<BYTE> stream(60000);
        for (size_t i = 0; i < stream.size(); ++i) stream[i] = BYTE(i * 13 + (i >> 8));
        int marked = 0;
        auto spec = [&](size_t index, size_t) {
            SampleSpec s;
            s.start = REFERENCE_TIME(index) * 400000;
            s.stop = s.start.value() + 400000;
            s.discontinuity = index == 0;
            s.decorate = [&marked, index](IMediaSample* sample) {
                // Only the sample allocator's samples carry markers.
                IMediaSampleMarker* marker = nullptr;
                if (SUCCEEDED(sample->QueryInterface(IID_IMediaSampleMarker,
                                                     reinterpret_cast<void**>(&marker)))) {
                    marker->SetMarkerValue(uint32_t(index));
                    marker->Release();
                    ++marked;
                }
            };
            return s;
        };
        ASSERT_EQ(source->DeliverStream(stream.data(), stream.size(), {4096, 1000, 2500}, spec),
                  S_OK);
        ASSERT_EQ(source->DeliverEndOfStream(), S_OK);
        const std::vector<qm::graph::ReceivedSample> received = sink->Samples();
        std::vector<BYTE> joined;
        for (size_t i = 0; i < received.size(); ++i) {
            joined.insert(joined.end(), received[i].data.begin(), received[i].data.end());
            EXPECT_EQ(received[i].start, REFERENCE_TIME(i) * 400000);
            EXPECT_EQ(received[i].stop, REFERENCE_TIME(i + 1) * 400000);
            EXPECT_EQ(received[i].discontinuity, i == 0);
            EXPECT_GE(received[i].size, 4096);
        }
        EXPECT_EQ(joined, stream);
        EXPECT_EQ(marked, int(received.size()));
        // The sink gives every sample back at once: the allocator never needed more than a
        // few.
        EXPECT_LE(impl->GetAllocatedCount(), 2);
        ASSERT_EQ(graph->Stop(), S_OK);
        EXPECT_FALSE(impl->IsCommitted());
        LONG freeCount = -1;
        impl->GetFreeCount(&freeCount);
        EXPECT_EQ(freeCount, impl->GetAllocatedCount());

        // The sink holds the allocator it was given until it is told to let go.
        sink->UseAllocator(nullptr);
        graph->Release();
        source->Release();
        sink->Release();
        EXPECT_EQ(mem->Release(), 0u);
    }
    EXPECT_EQ(CBaseObject::ObjectsActive(), objectsBefore);
}

}  // namespace
