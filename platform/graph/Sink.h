// A renderer-like filter with one input pin ("Input") that records everything it receives:
// each sample's bytes, times, media times, flags and attached media type, and the end of stream,
// flush and new segment calls in their order. It sends EC_COMPLETE at end of stream while
// running (or when it starts running after an end of stream that came while paused). Tests
// configure what it accepts, how it answers QueryAccept, what its Receive returns, and whether
// it offers its own allocator (possibly granting fewer buffers than asked, or attaching a media
// type to every sample it hands out).
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qm::graph {

struct ReceivedSample {
    std::vector<BYTE> data;  // the actual data length of bytes
    LONG size = 0;           // the buffer size
    HRESULT timeResult = S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    HRESULT mediaTimeResult = S_OK;
    LONGLONG mediaStart = 0, mediaStop = 0;
    bool syncPoint = false, discontinuity = false, preroll = false;
    DWORD typeSpecificFlags = 0;  // from IMediaSample2, when the sample has it
    bool hasMediaType = false;
    CMediaType mediaType;
    IMediaSample* sample = nullptr;  // identity only: not held
    const BYTE* pointer = nullptr;   // where its bytes were
};

// What the sink saw, in order.
struct SinkCall {
    enum Kind { Sample, EndOfStream, BeginFlush, EndFlush, NewSegment } kind;
    size_t sampleIndex = 0;  // Sample: index into Samples()
    REFERENCE_TIME segmentStart = 0, segmentStop = 0;
    double segmentRate = 0;
};

// The sink's own allocator, when it offers one.
struct SinkAllocatorOptions {
    std::optional<LONG> maxBuffers;          // grant at most this many buffers
    std::optional<LONG> minBufferSize;       // grant at least this buffer size
    std::optional<CMediaType> attachedType;  // every sample it hands out carries this type
};

class Sink : public CBaseFilter {
public:
    // Accepts types whose major type and subtype match one of `accepted` (GUID_NULL matches
    // anything); an empty list accepts every type.
    static HRESULT Create(const std::vector<CMediaType>& accepted, Sink** ppSink);

    CBasePin* GetPin(int n) override;
    int GetPinCount() override { return 1; }
    IPin* InputPin();

    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override;

    // Configuration (before connecting, except the answers).
    void SetAccepted(const std::vector<CMediaType>& accepted);
    // Fixed QueryAccept answer (S_OK for true, S_FALSE for false); nullopt: ask CheckMediaType.
    void SetQueryAcceptAnswer(std::optional<bool> answer);
    // Whether a format change attached to a sample is accepted (default: by the type list).
    void SetAcceptFormatChanges(bool accept);
    void SetReceiveResult(HRESULT hr);
    void SetAllocatorRequirements(std::optional<ALLOCATOR_PROPERTIES> props);
    void OfferAllocator(std::optional<SinkAllocatorOptions> options);
    // Offers this allocator (held with a reference) instead; null goes back to the others.
    void UseAllocator(IMemAllocator* allocator);

    // What was received (copies; safe while streaming).
    std::vector<ReceivedSample> Samples() const;
    std::vector<SinkCall> Calls() const;
    size_t SampleCount() const;
    int EndOfStreamCount() const;
    void ClearRecords();
    // The allocator the upstream pin chose (NotifyAllocator), with a reference; may be null.
    IMemAllocator* NotifiedAllocator() const;

private:
    class InputPinImpl;
    class OwnAllocator;
    explicit Sink(const std::vector<CMediaType>& accepted);
    ~Sink() override;

    bool Accepts(const AM_MEDIA_TYPE& mt) const;

    CCritSec m_lock;
    InputPinImpl* m_pin = nullptr;
    mutable std::mutex m_recordLock;
    std::vector<CMediaType> m_accepted;
    std::optional<bool> m_queryAcceptAnswer;
    bool m_acceptFormatChanges = true;
    HRESULT m_receiveResult = S_OK;
    std::optional<ALLOCATOR_PROPERTIES> m_requirements;
    std::optional<SinkAllocatorOptions> m_allocatorOptions;
    IMemAllocator* m_givenAllocator = nullptr;
    std::vector<ReceivedSample> m_samples;
    std::vector<SinkCall> m_calls;
    bool m_eosPending = false;
};

}  // namespace qm::graph
