// A renderer-like filter for the tool: accepts the types it is given and hands every sample to
// a callback on the streaming thread, so that nothing is kept in memory.
#pragma once

#include <functional>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qmdecode {

struct SinkSample {
    const BYTE* data;
    LONG length;
    bool hasTime;
    REFERENCE_TIME start, stop;
    const AM_MEDIA_TYPE* newType;  // a format change that came with the sample, or null
};

class StreamSink : public CBaseFilter {
public:
    // Accepts types whose major type and subtype equal one of `accepted`, preferring them in
    // order. The callback's failure is returned from Receive.
    static HRESULT Create(const std::vector<CMediaType>& accepted,
                          std::function<HRESULT(const SinkSample&)> onSample, StreamSink** ppSink);

    CBasePin* GetPin(int n) override;
    int GetPinCount() override { return 1; }
    IPin* InputPin();
    // The type the input pin is connected with.
    const CMediaType& ConnectionType();
    int EndOfStreamCount() const { return m_endOfStream; }
#ifdef _WIN32
    // Also answers IAMFilterMiscFlags: a graph manager counts renderers by it to know when
    // every stream has completed.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
#endif

private:
    class InputPinImpl;
    StreamSink(const std::vector<CMediaType>& accepted,
               std::function<HRESULT(const SinkSample&)> onSample);
    ~StreamSink() override;

    CCritSec m_lock;
    InputPinImpl* m_pin = nullptr;
    std::vector<CMediaType> m_accepted;
    std::function<HRESULT(const SinkSample&)> m_onSample;
    int m_endOfStream = 0;
#ifdef _WIN32
    struct RendererFlag final : IAMFilterMiscFlags {
        explicit RendererFlag(StreamSink* sink) : sink(sink) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return sink->QueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return sink->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return sink->Release(); }
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
        StreamSink* sink;
    };
    RendererFlag m_rendererFlag{this};
#endif
};

}  // namespace qmdecode
