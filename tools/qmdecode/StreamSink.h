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
};

}  // namespace qmdecode
