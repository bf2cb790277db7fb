// A source filter with one output pin ("Output") that the caller drives: each Deliver call gets
// an empty sample from the allocator negotiated with the downstream pin (the downstream
// allocator when it offers one, else the standard memory allocator), fills it with the given
// bytes, times, media times, flags and optional media type, and delivers it on the caller's
// thread. End of stream, flushing and new segments are pushed the same way.
// A source that lends its bytes (SampleBytes::Lent) copies nothing: it brings its own allocator,
// whose samples point at the caller's bytes, and tells the downstream pin they are read-only.
// The caller keeps those bytes valid and unchanged until the graph stops. A downstream pin that
// asks for a prefix or an alignment gets copies as before.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qm::graph {

// What one sample carries besides its bytes.
enum class SampleBytes { Copied, Lent };

struct SampleSpec {
    std::optional<REFERENCE_TIME> start;  // no start: no times
    std::optional<REFERENCE_TIME> stop;   // needs a start
    std::optional<LONGLONG> mediaStart;   // media times need both
    std::optional<LONGLONG> mediaStop;
    bool syncPoint = true;
    bool discontinuity = false;
    bool preroll = false;
    const AM_MEDIA_TYPE* mediaType = nullptr;  // attached as a format change
    // Called last, e.g. to set markers through an interface of the sample.
    std::function<void(IMediaSample*)> decorate;
};

class PushSource : public CBaseFilter {
public:
    // Offers `types` in order (at least one) and asks for `request` buffers (its alignment is
    // raised to the downstream pin's requirement, and 1 when 0).
    static HRESULT Create(const std::vector<CMediaType>& types, const ALLOCATOR_PROPERTIES& request,
                          PushSource** ppSource, SampleBytes bytes = SampleBytes::Copied);

    CBasePin* GetPin(int n) override;
    int GetPinCount() override { return 1; }
    IPin* OutputPin();

    // One sample of `size` bytes. VFW_E_BUFFER_OVERFLOW when it does not fit in the buffer (lent:
    // above 2 GiB); otherwise the downstream Receive result (or the allocator's failure). dwFlags
    // go to GetBuffer (AM_GBF_NOWAIT to fail instead of waiting for a free buffer).
    HRESULT Deliver(const BYTE* data, size_t size, const SampleSpec& spec = {}, DWORD dwFlags = 0);
    // Splits the bytes into samples whose sizes cycle through `sizes`; `specFor(index, offset)`
    // gives each sample's spec. Stops at the first result that is not S_OK and returns it.
    HRESULT DeliverStream(const BYTE* data, size_t size, const std::vector<size_t>& sizes,
                          const std::function<SampleSpec(size_t, size_t)>& specFor = {});
    // DeliverStream over a file's contents; E_FAIL when it cannot be read.
    HRESULT DeliverFile(const std::filesystem::path& path, const std::vector<size_t>& sizes,
                        const std::function<SampleSpec(size_t, size_t)>& specFor = {});

    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // The allocator in use and the properties it granted (after connection).
    IMemAllocator* Allocator();
    ALLOCATOR_PROPERTIES ActualProperties() const { return m_actual; }
    size_t DeliveredCount() const { return m_delivered; }
    // True once connected with the source's own allocator of lent samples.
    bool Lending() const { return m_lending; }

private:
    class OutputPinImpl;
    PushSource(const std::vector<CMediaType>& types, const ALLOCATOR_PROPERTIES& request,
               SampleBytes bytes);
    ~PushSource() override;

    CCritSec m_lock;
    std::vector<CMediaType> m_types;
    ALLOCATOR_PROPERTIES m_request;
    ALLOCATOR_PROPERTIES m_actual{};
    OutputPinImpl* m_pin = nullptr;
    size_t m_delivered = 0;
    SampleBytes m_bytes;
    bool m_lending = false;
    std::vector<BYTE> m_file;  // DeliverFile's bytes, kept while lent samples may point at them
};

}  // namespace qm::graph
