#include "VideoIO/Demultiplexer/DemultiplexerFilter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

#include "VideoIO/Demultiplexer/StreamMediaType.h"
#include "VideoIO/MPEGSystemFilters/Pes.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace qm_Demultiplexer {

using namespace qm_MPEGSystemFilters;

namespace {

constexpr size_t kReadSize = 256 * 1024;
// Probing reads at least this much, so that streams that start a little later are found ...
constexpr size_t kProbeMinimum = 1 << 20;
// ... and gives up on streams without a usable header after this much.
constexpr size_t kProbeMaximum = 8 << 20;
// The bytes of each stream kept for building its media type.
constexpr size_t kTypeBytes = 256 * 1024;
// What the container is recognised from.
constexpr size_t kProbeWindow = 64 * 1024;

constexpr REFERENCE_TIME kEndOfTime = 0x7FFFFFFFFFFFFFFF;
// Untimed payloads joined to the timed one before them are delivered at about this size, so a
// joined sample fits the smallest audio buffer.
constexpr size_t kJoinLimit = 64 * 1024;

// 90 kHz ticks to 100-ns units, rounded to nearest.
REFERENCE_TIME TicksToReferenceTime(int64_t ticks) {
    const int64_t scaled = ticks * 1000;
    return scaled >= 0 ? (scaled + 4) / 9 : -((-scaled + 4) / 9);
}

// Collects what probing needs: the streams, their first bytes, first time stamps and sizes.
class ProbeSink : public IAccessUnitSink {
public:
    struct Found {
        StreamInfo info;
        std::vector<uint8_t> bytes;
        int64_t firstPts = -1;
        size_t largestUnit = 0;
    };
    std::vector<Found> found;

    void OnStream(const StreamInfo& s) override {
        if (Found* f = Find(s.key)) {
            f->info = s;
            return;
        }
        found.push_back({s, {}, -1, 0});
    }
    void OnAccessUnit(const AccessUnit& u) override {
        Found* f = Find(u.key);
        if (!f) return;
        if (f->firstPts < 0 && u.pts >= 0 && !u.damaged) f->firstPts = u.pts;
        f->largestUnit = std::max(f->largestUnit, u.size);
        const size_t room = kTypeBytes - std::min(kTypeBytes, f->bytes.size());
        f->bytes.insert(f->bytes.end(), u.data, u.data + std::min(room, u.size));
    }
    bool AllTyped() const {
        for (const Found& f : found) {
            if (!IsVideoCoding(f.info.coding) && !IsAudioCoding(f.info.coding)) continue;
            CMediaType type;
            std::string text;
            if (!BuildStreamMediaType(f.info, f.bytes.data(), f.bytes.size(), &type, &text))
                return false;
        }
        return !found.empty();
    }

private:
    Found* Find(uint32_t key) {
        for (Found& f : found)
            if (f.info.key == key) return &f;
        return nullptr;
    }
};

}  // namespace

class DemultiplexerFilter::OutputPin : public CBaseOutputPin {
public:
    OutputPin(DemultiplexerFilter* filter, const DemuxStream& stream,
              const std::basic_string<WCHAR>& name, HRESULT* phr)
        : CBaseOutputPin(NAME("Demultiplexer output"), filter, &filter->m_lock, phr, name.c_str()),
          m_stream(stream) {}

    HRESULT CheckMediaType(const CMediaType* pmt) override {
        const CMediaType& t = m_stream.type;
        return IsEqualGUID(t.majortype, pmt->majortype) && IsEqualGUID(t.subtype, pmt->subtype) &&
                       IsEqualGUID(t.formattype, pmt->formattype)
                   ? S_OK
                   : S_FALSE;
    }
    HRESULT GetMediaType(int position, CMediaType* pmt) override {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        return pmt->Set(m_stream.type);
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* request) override {
        const bool video = IsEqualGUID(m_stream.type.majortype, MEDIATYPE_Video);
        const size_t floor = video ? 512 * 1024 : 64 * 1024;
        ALLOCATOR_PROPERTIES want{};
        want.cBuffers = std::max<LONG>(request->cBuffers, 8);
        want.cbBuffer =
            std::max(request->cbBuffer,
                     LONG(std::min<size_t>(std::max(floor, m_stream.largestUnit * 2), 8 << 20)));
        want.cbAlign = std::max<LONG>(request->cbAlign, 1);
        want.cbPrefix = request->cbPrefix;
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = alloc->SetProperties(&want, &actual);
        if (FAILED(hr)) return hr;
        return actual.cbBuffer > 0 && actual.cBuffers > 0 ? S_OK : E_FAIL;
    }

    const DemuxStream& Stream() const { return m_stream; }
    // Streaming state, touched only by the streaming thread.
    TimestampUnwrapper unwrapper;
    bool discontinuity = true;
    bool dead = false;  // downstream refused a sample: nothing more is delivered
    REFERENCE_TIME lastTime = 0;
    std::unique_ptr<CMediaType> pendingType;
    // The decoder refuses untimed samples (AC-3): payloads without a time stamp are joined to
    // the timed one before them, and dropped when none came yet or since lost data.
    bool joinsUntimed = false;
    uint32_t byteRate = 0;  // from the stream's header, 0 when unknown
    std::vector<uint8_t> joined;
    int64_t joinedPts = kNoTimestamp;

private:
    DemuxStream m_stream;
};

// Receives the parser's units on the streaming thread and delivers them on their pins.
class DemultiplexerFilter::Streamer : public IAccessUnitSink {
public:
    explicit Streamer(DemultiplexerFilter* filter) : m_filter(filter) {
        for (OutputPin* pin : filter->m_pins) m_byKey[pin->Stream().info.key] = pin;
    }
    bool Stopping() const { return m_stopping || m_filter->m_quit.load(); }

    void OnStream(const StreamInfo& s) override {
        auto it = m_byKey.find(s.key);
        if (it == m_byKey.end() || s.coding != StreamCoding::Lpcm) return;
        OutputPin* pin = it->second;
        CMediaType type;
        std::string text;
        if (BuildStreamMediaType(s, nullptr, 0, &type, &text) && !(type == pin->CurrentMediaType()))
            pin->pendingType = std::make_unique<CMediaType>(type);
    }

    void OnAccessUnit(const AccessUnit& u) override {
        auto it = m_byKey.find(u.key);
        if (it == m_byKey.end() || Stopping()) return;
        OutputPin* pin = it->second;
        if (pin->dead) return;
        if (u.damaged) {
            ++m_filter->m_damagedUnits;
            if (pin->joinsUntimed) FlushJoined(pin);
            pin->joinedPts = kNoTimestamp;  // the bytes lost leave no time for what follows
            pin->discontinuity = true;
            return;
        }
        if (pin->joinsUntimed)
            Join(pin, u);
        else
            DeliverChecked(pin, u);
    }

    // What the joined payloads hold at the end of the input.
    void FlushAll() {
        for (auto& [key, pin] : m_byKey)
            if (!pin->dead && !Stopping()) FlushJoined(pin);
    }

private:
    // 90 kHz ticks that `bytes` of the stream last; valid when its byte rate is known.
    static int64_t Ticks(const OutputPin* pin, size_t bytes) {
        return int64_t(uint64_t(bytes) * 90000 / pin->byteRate);
    }

    void Join(OutputPin* pin, const AccessUnit& u) {
        if (u.pts >= 0) {
            FlushJoined(pin);
            pin->joinedPts = u.pts;
        } else if (pin->joinedPts < 0) {
            return;  // before the stream's first time stamp, as players do
        } else if (!pin->joined.empty() && pin->joined.size() + u.size > kJoinLimit) {
            // Too much without a time stamp: the rest starts where the bytes so far end.
            const int64_t next =
                pin->byteRate ? pin->joinedPts + Ticks(pin, pin->joined.size()) : kNoTimestamp;
            FlushJoined(pin);
            pin->joinedPts = next;
            if (next < 0) return;
        }
        pin->joined.insert(pin->joined.end(), u.data, u.data + u.size);
    }

    void FlushJoined(OutputPin* pin) {
        if (pin->joined.empty()) return;
        AccessUnit unit;
        unit.key = pin->Stream().info.key;
        unit.data = pin->joined.data();
        unit.size = pin->joined.size();
        unit.pts = pin->joinedPts;
        DeliverChecked(pin, unit);
        pin->joined.clear();
    }

    HRESULT Deliver(OutputPin* pin, const AccessUnit& u) {
        const CMediaType& type = pin->CurrentMediaType();
        const bool video = IsEqualGUID(type.majortype, MEDIATYPE_Video);
        size_t align = 1;
        if (IsEqualGUID(type.subtype, MEDIASUBTYPE_DVD_LPCM_AUDIO) &&
            type.cbFormat >= sizeof(WAVEFORMATEX))
            align =
                std::max<size_t>(1, reinterpret_cast<WAVEFORMATEX*>(type.pbFormat)->nBlockAlign);
        bool first = true;
        for (size_t at = 0; at < u.size;) {
            IMediaSample* sample = nullptr;
            HRESULT hr = pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            if (FAILED(hr)) return hr;
            if (!sample) return E_UNEXPECTED;
            size_t room = size_t(std::max<LONG>(sample->GetSize(), 0));
            if (room >= align) room -= room % align;
            const size_t n = std::min(room, u.size - at);
            BYTE* p = nullptr;
            hr = n == 0 ? E_OUTOFMEMORY : sample->GetPointer(&p);
            if (SUCCEEDED(hr)) {
                std::memcpy(p, u.data + at, n);
                hr = sample->SetActualDataLength(LONG(n));
            }
            if (SUCCEEDED(hr) && first && u.pts >= 0) {
                pin->lastTime =
                    TicksToReferenceTime(pin->unwrapper.Unwrap(u.pts) - m_filter->m_timeBase);
                hr = sample->SetTime(&pin->lastTime, nullptr);
                if (SUCCEEDED(hr)) hr = sample->SetMediaTime(nullptr, nullptr);
            } else if (SUCCEEDED(hr) && pin->joinsUntimed && u.pts >= 0 && pin->byteRate) {
                // A unit split over buffers: each piece starts where the bytes before it end.
                REFERENCE_TIME t = pin->lastTime + TicksToReferenceTime(Ticks(pin, at));
                hr = sample->SetTime(&t, nullptr);
            } else if (SUCCEEDED(hr) && video) {
                // The video decoders want a time on every sample: a piece without a time stamp
                // of its own says so with the largest media time.
                LONGLONG none = kEndOfTime;
                hr = sample->SetTime(&pin->lastTime, nullptr);
                if (SUCCEEDED(hr)) hr = sample->SetMediaTime(&none, &none);
            }
            if (SUCCEEDED(hr)) hr = sample->SetSyncPoint(first && (u.pts >= 0 || u.syncPoint));
            if (SUCCEEDED(hr)) hr = sample->SetDiscontinuity(first && pin->discontinuity);
            if (SUCCEEDED(hr) && pin->pendingType)
                hr = sample->SetMediaType(pin->pendingType.get());
            if (SUCCEEDED(hr)) hr = pin->Deliver(sample);
            sample->Release();
            if (hr != S_OK) return hr;
            if (pin->pendingType) {
                pin->CurrentMediaType() = *pin->pendingType;
                pin->pendingType.reset();
            }
            pin->discontinuity = false;
            first = false;
            at += n;
        }
        return S_OK;
    }

    void DeliverChecked(OutputPin* pin, const AccessUnit& u) {
        const HRESULT hr = Deliver(pin, u);
        if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) {
            m_stopping = true;
        } else if (hr != S_OK) {
            pin->dead = true;
            HRESULT expected = S_OK;
            m_filter->m_streamingResult.compare_exchange_strong(expected, FAILED(hr) ? hr : E_FAIL);
        }
    }

    DemultiplexerFilter* m_filter;
    std::map<uint32_t, OutputPin*> m_byKey;
    bool m_stopping = false;
};

DemultiplexerFilter::DemultiplexerFilter()
    : CBaseFilter(NAME("Demultiplexer"), nullptr, &m_lock, GUID_NULL) {}

DemultiplexerFilter::~DemultiplexerFilter() {
    StopThread();
    for (OutputPin* pin : m_pins) delete pin;
    if (m_file && m_file != stdin) std::fclose(m_file);
}

HRESULT DemultiplexerFilter::Create(DemultiplexerFilter** ppFilter) {
    if (!ppFilter) return E_POINTER;
    *ppFilter = new (std::nothrow) DemultiplexerFilter();
    if (!*ppFilter) return E_OUTOFMEMORY;
    (*ppFilter)->NonDelegatingAddRef();
    return S_OK;
}

size_t DemultiplexerFilter::ReadInput(uint8_t* buffer, size_t size) {
    return m_file ? std::fread(buffer, 1, size, m_file) : 0;
}

HRESULT DemultiplexerFilter::Load(const std::string& path, std::vector<uint8_t> alreadyRead) {
    CAutoLock lock(&m_lock);
    if (!IsStopped() || m_file) return VFW_E_WRONG_STATE;
    m_path = path;
    m_isPipe = path == "-";
    if (m_isPipe) {
#ifdef _WIN32
        _setmode(_fileno(stdin), _O_BINARY);
#endif
        m_file = stdin;
    } else {
        m_file = std::fopen(path.c_str(), "rb");
        if (!m_file) return E_FAIL;
        if (std::fseek(m_file, 0, SEEK_END) == 0) {
            const long end = std::ftell(m_file);
            m_totalBytes = end > 0 ? uint64_t(end) : 0;
        }
        std::fseek(m_file, 0, SEEK_SET);
    }

    // The first bytes tell the container; a pipe's are kept for the first run.
    std::vector<uint8_t> first;
    if (m_isPipe) {
        m_head = std::move(alreadyRead);
        while (m_head.size() < kProbeWindow) {
            const size_t old = m_head.size();
            m_head.resize(old + kReadSize);
            const size_t n = ReadInput(m_head.data() + old, kReadSize);
            m_head.resize(old + n);
            if (n == 0) break;
        }
    } else {
        first.resize(kReadSize);
        first.resize(ReadInput(first.data(), first.size()));
    }
    const std::vector<uint8_t>& start = m_isPipe ? m_head : first;
    m_container = ProbeContainer(start.data(), start.size());
    ProbeSink probe;
    std::unique_ptr<SystemStreamParser> parser = CreateParser(m_container, &probe);
    if (!parser) return kUnknownFileType;
    parser->Feed(start.data(), start.size());
    size_t total = start.size();
    std::vector<uint8_t> chunk(kReadSize);
    while (total < kProbeMaximum && !(total >= kProbeMinimum && probe.AllTyped())) {
        const size_t n = ReadInput(chunk.data(), chunk.size());
        if (n == 0) break;
        if (m_isPipe) m_head.insert(m_head.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(n));
        parser->Feed(chunk.data(), n);
        total += n;
    }
    parser->Finish();

    int64_t base = -1;
    for (ProbeSink::Found& f : probe.found) {
        DemuxStream s;
        s.info = f.info;
        s.typed =
            BuildStreamMediaType(f.info, f.bytes.data(), f.bytes.size(), &s.type, &s.description);
        if (!s.typed) s.description = UntypedStreamDescription(f.info);
        s.firstPts = f.firstPts;
        s.largestUnit = f.largestUnit;
        if (s.typed && f.firstPts >= 0 && (base < 0 || f.firstPts < base)) base = f.firstPts;
        m_streams.push_back(std::move(s));
    }
    m_timeBase = base < 0 ? 0 : base;
    return S_OK;
}

HRESULT DemultiplexerFilter::SelectStreams(const std::vector<size_t>& indices) {
    CAutoLock lock(&m_lock);
    if (!IsStopped()) return VFW_E_WRONG_STATE;
    for (OutputPin* pin : m_pins)
        if (pin->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    for (size_t i : indices)
        if (i >= m_streams.size() || !m_streams[i].typed) return E_INVALIDARG;
    for (OutputPin* pin : m_pins) delete pin;
    m_pins.clear();
    for (size_t i : indices) {
        const bool video = IsEqualGUID(m_streams[i].type.majortype, MEDIATYPE_Video);
        const std::string text = (video ? "Video " : "Audio ") + std::to_string(i);
        const std::basic_string<WCHAR> name(text.begin(), text.end());
        HRESULT hr = S_OK;
        auto* pin = new (std::nothrow) OutputPin(this, m_streams[i], name, &hr);
        if (!pin) return E_OUTOFMEMORY;
        m_pins.push_back(pin);
        if (FAILED(hr)) return hr;
    }
    IncrementPinVersion();
    return S_OK;
}

CBasePin* DemultiplexerFilter::GetPin(int n) {
    return n >= 0 && size_t(n) < m_pins.size() ? m_pins[size_t(n)] : nullptr;
}

int DemultiplexerFilter::GetPinCount() {
    return int(m_pins.size());
}

HRESULT STDMETHODCALLTYPE DemultiplexerFilter::Pause() {
    CAutoLock lock(&m_lock);
    const bool starting = IsStopped();
    const HRESULT hr = CBaseFilter::Pause();
    if (FAILED(hr) || !starting) return hr;
    m_quit = false;
    m_finished = false;
    m_streamingResult = S_OK;
    try {
        m_thread = std::thread(&DemultiplexerFilter::StreamingThread, this);
    } catch (...) {
        CBaseFilter::Stop();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE DemultiplexerFilter::Stop() {
    m_quit = true;
    // Decommitting the allocators wakes the thread if it waits for a buffer.
    const HRESULT hr = CBaseFilter::Stop();
    StopThread();
    return hr;
}

void DemultiplexerFilter::StopThread() {
    m_quit = true;
    if (m_thread.joinable()) m_thread.join();
}

void DemultiplexerFilter::StreamingThread() {
    for (OutputPin* pin : m_pins) {
        pin->discontinuity = true;
        pin->dead = !pin->IsConnected();
        pin->unwrapper.Reset();
        pin->lastTime = 0;
        const CMediaType& type = pin->CurrentMediaType();
        pin->joinsUntimed = IsEqualGUID(type.subtype, MEDIASUBTYPE_DOLBY_AC3);
        pin->byteRate = pin->joinsUntimed && type.cbFormat >= sizeof(WAVEFORMATEX)
                            ? reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat)->nAvgBytesPerSec
                            : 0;
        pin->joined.clear();
        pin->joinedPts = kNoTimestamp;
        if (pin->IsConnected()) pin->DeliverNewSegment(0, kEndOfTime, 1.0);
    }
    Streamer streamer(this);
    std::unique_ptr<SystemStreamParser> parser = CreateParser(m_container, &streamer);
    const bool firstRun = m_runs++ == 0;
    m_bytesRead = 0;
    if (parser) {
        if (m_isPipe && firstRun) {
            parser->Feed(m_head.data(), m_head.size());
            m_bytesRead = m_head.size();
            m_head.clear();
            m_head.shrink_to_fit();
        } else if (!m_isPipe && m_file) {
            std::fseek(m_file, 0, SEEK_SET);
        }
        std::vector<uint8_t> buffer(kReadSize);
        bool more = m_isPipe ? firstRun : true;
        while (more && !streamer.Stopping()) {
            const size_t n = ReadInput(buffer.data(), buffer.size());
            if (n == 0) break;
            parser->Feed(buffer.data(), n);
            m_bytesRead += n;
        }
        if (!streamer.Stopping()) parser->Finish();
        streamer.FlushAll();
    }
    if (!streamer.Stopping())
        for (OutputPin* pin : m_pins)
            if (pin->IsConnected()) pin->DeliverEndOfStream();
    m_finished = true;
}

}  // namespace qm_Demultiplexer
