#include "VideoIO/FilterUtil/ConsumerSampleMap.h"

#include <algorithm>
#include <limits>
#include <new>
#include <string>

#include "VideoIO/FilterUtil/ConsumerToken.h"
#include "VideoIO/FilterUtil/QMMediaSample.h"
#include "diagnostics/CheckForms.h"
#include "platform/win32/Module.h"

namespace qm_DSFilters {

namespace {

std::basic_string<WCHAR> Widen(const std::string& text) {
    return std::basic_string<WCHAR>(text.begin(), text.end());
}

}  // namespace

ConsumerSampleMap::ConsumerSampleMap(IMemAllocator* pAllocator, LPCTSTR name,
                                     CCritSec* pAllocatorLock)
    : m_pAllocator(pAllocator), m_name(name), m_pAllocatorLock(pAllocatorLock) {}

ConsumerSampleMap::~ConsumerSampleMap() {
    // The indexer's code lives in the module: it goes last.
    m_indexerFeeder.reset();
    if (m_mpeg2Indexer) m_mpeg2Indexer->Release();
    if (m_indexerModule) FreeLibrary(m_indexerModule);
}

// ------------------------------------------------------------------------ released samples

HRESULT ConsumerSampleMap::AddReleasedSample(QMMediaSample* pQMMediaSample) {
    QMCheckCondition(pQMMediaSample != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    const auto stored = m_storedIndex.find(pQMMediaSample);
    if (stored != m_storedIndex.end()) {
        // The last release of a handed-out sample; a lookup may have handed it out again
        // since the count fell to 0, and then it stays in use.
        KeptSample& kept = m_samples.at(stored->second);
        if (kept.inUse && pQMMediaSample->GetRefCount() == 0) {
            kept.inUse = false;
            --m_inUseCount;
            Trim();
        }
        return S_OK;
    }
    // A late second release of a sample that a lookup handed out again meanwhile: it is free
    // already and must not be kept as well.
    if (std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample) != m_freeList.end())
        return S_OK;
    QMCheckCondition(pQMMediaSample->GetRefCount() == 0, E_UNEXPECTED);

    REFERENCE_TIME start = -1, stop = -1;
    if (m_started && SUCCEEDED(pQMMediaSample->GetTime(&start, &stop))) {
        const SampleKey key{start, ++m_nextSequence};
        // A refused insertion has been reported; the sample is not lost but freed.
        if (IsWanted(key) && InsertKept(pQMMediaSample, key) == S_OK) {
            if (m_isIndexingEnabled) IndexNewSamples();
            Trim();
            return S_OK;
        }
    }
    PushFree(pQMMediaSample);
    return S_OK;
}

bool ConsumerSampleMap::IsWanted(const SampleKey& key) const {
    if (m_mapMode & IBufferSink::LoopMode) return true;
    for (const auto& [token, info] : m_consumers)
        if (info->IsActive() && !info->HasPassed(key)) return true;
    return false;
}

HRESULT ConsumerSampleMap::InsertKept(QMMediaSample* pQMMediaSample, const SampleKey& key) {
    QMCheckCondition(m_sampleSortingMethod == IBufferSink::SortSamplesByTime, E_UNEXPECTED);
    const LONG bytes = pQMMediaSample->GetActualDataLength();
    m_samples.emplace(key, KeptSample{pQMMediaSample, bytes, false});
    m_storedIndex.emplace(pQMMediaSample, key);
    m_keptBytes += uint64_t(bytes);
    ++m_keptTotal;
    return S_OK;
}

void ConsumerSampleMap::Trim() {
    if (m_samples.empty()) return;
    // Without loop mode the samples up to the slowest active consumer's position are passed;
    // in loop mode those older than the window.
    const bool loop = (m_mapMode & IBufferSink::LoopMode) != 0;
    SampleKey limit{std::numeric_limits<REFERENCE_TIME>::max(),
                    std::numeric_limits<uint64_t>::max()};
    if (loop) {
        const REFERENCE_TIME newest = m_samples.rbegin()->first.time;
        if (newest < std::numeric_limits<REFERENCE_TIME>::min() + m_loopLength) return;
        limit = SampleKey{newest - m_loopLength, 0};  // strictly older than the window
    } else {
        for (const auto& [token, info] : m_consumers)
            if (info->IsActive()) limit = std::min(limit, info->GetPosition());
    }
    for (auto it = m_samples.begin(); it != m_samples.end();) {
        if (loop ? !(it->first < limit) : !(it->first <= limit)) break;
        if (it->second.inUse) {
            ++it;
            continue;
        }
        auto next = std::next(it);
        PushFree(RemoveKept(it));
        it = next;
    }
}

QMMediaSample* ConsumerSampleMap::RemoveKept(Store::iterator it) {
    for (const auto& [token, info] : m_consumers)
        if (!info->HasPassed(it->first)) info->NoteSkipped();
    QMMediaSample* pQMMediaSample = it->second.sample;
    m_keptBytes -= uint64_t(it->second.bytes);
    m_storedIndex.erase(pQMMediaSample);
    m_samples.erase(it);
    return pQMMediaSample;
}

void ConsumerSampleMap::PushFree(QMMediaSample* pQMMediaSample) {
    if (std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample) == m_freeList.end())
        m_freeList.push_back(pQMMediaSample);
}

// ------------------------------------------------------------------------------- free list

LONG ConsumerSampleMap::GetFreeCount() const {
    CAutoLock lock(&m_lock);
    return LONG(m_freeList.size());
}

bool ConsumerSampleMap::IsFree(const QMMediaSample* pQMMediaSample) const {
    CAutoLock lock(&m_lock);
    return std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample) != m_freeList.end();
}

HRESULT ConsumerSampleMap::PopFreeSample(QMMediaSample** ppQMMediaSample) {
    QMCheckCondition(ppQMMediaSample != 0, E_POINTER);
    *ppQMMediaSample = nullptr;
    CAutoLock lock(&m_lock);
    // clang-format off
    QMCheckCondition(! m_freeList.empty(), E_UNEXPECTED);
    // clang-format on
    *ppQMMediaSample = m_freeList.back();
    m_freeList.pop_back();
    return S_OK;
}

HRESULT ConsumerSampleMap::RemoveFreeSample(QMMediaSample* pQMMediaSample) {
    CAutoLock lock(&m_lock);
    const auto it = std::find(m_freeList.begin(), m_freeList.end(), pQMMediaSample);
    if (it == m_freeList.end()) return S_FALSE;
    m_freeList.erase(it);
    return S_OK;
}

std::vector<QMMediaSample*> ConsumerSampleMap::GetFreeSamples() const {
    CAutoLock lock(&m_lock);
    return m_freeList;
}

// ---------------------------------------------------------------------------- kept samples

LONG ConsumerSampleMap::GetKeptCount() const {
    CAutoLock lock(&m_lock);
    return LONG(m_samples.size());
}

std::vector<QMMediaSample*> ConsumerSampleMap::GetKeptSamples() const {
    CAutoLock lock(&m_lock);
    std::vector<QMMediaSample*> samples;
    samples.reserve(m_samples.size());
    for (const auto& [key, kept] : m_samples) samples.push_back(kept.sample);
    return samples;
}

bool ConsumerSampleMap::IsKept(const QMMediaSample* pQMMediaSample) const {
    CAutoLock lock(&m_lock);
    return m_storedIndex.count(pQMMediaSample) != 0;
}

LONG ConsumerSampleMap::GetReclaimableCount() const {
    CAutoLock lock(&m_lock);
    return LONG(m_samples.size()) - m_inUseCount;
}

HRESULT ConsumerSampleMap::ReclaimOldestSample(QMMediaSample** ppQMMediaSample) {
    QMCheckCondition(ppQMMediaSample != 0, E_POINTER);
    *ppQMMediaSample = nullptr;
    CAutoLock lock(&m_lock);
    for (auto it = m_samples.begin(); it != m_samples.end(); ++it) {
        if (it->second.inUse) continue;
        *ppQMMediaSample = RemoveKept(it);
        ++m_reclaimedTotal;
        return S_OK;
    }
    return S_FALSE;
}

bool ConsumerSampleMap::IsAnySampleInUse() const {
    CAutoLock lock(&m_lock);
    return m_inUseCount != 0;
}

void ConsumerSampleMap::Clear() {
    CAutoLock lock(&m_lock);
    m_freeList.clear();
    m_samples.clear();
    m_storedIndex.clear();
    m_inUseCount = 0;
    m_keptBytes = 0;
    // What comes next is a new stream (its times may start again): consumers read it from
    // its start.
    for (const auto& [token, info] : m_consumers) {
        info->SetPosition(kBeforeAllSamples);
        info->TakeSkipped();
    }
    m_lastIndexed = kBeforeAllSamples;
}

void ConsumerSampleMap::Start() {
    CAutoLock lock(&m_lock);
    m_started = true;
}

void ConsumerSampleMap::Stop() {
    CAutoLock lock(&m_lock);
    m_started = false;
}

bool ConsumerSampleMap::IsStarted() const {
    CAutoLock lock(&m_lock);
    return m_started;
}

void ConsumerSampleMap::SetStreamKind(uint32_t streamKind) {
    CAutoLock lock(&m_lock);
    m_streamKind = streamKind;
    if (m_mpeg2Indexer) {
        QMLogHRESULT(FlushIndexer());
        m_mpeg2Indexer->SetStreamKind(streamKind);
        m_indexedStreamKind = streamKind;
    }
}

uint32_t ConsumerSampleMap::GetStreamKind() const {
    CAutoLock lock(&m_lock);
    return m_streamKind;
}

// ------------------------------------------------------------------------------- consumers

HRESULT ConsumerSampleMap::RegisterConsumer(IConsumerToken** ppConsumerToken) {
    QMCheckCondition(ppConsumerToken != 0, E_POINTER);
    *ppConsumerToken = nullptr;
    CAutoLock lock(&m_lock);
    IConsumerToken* pConsumerToken = nullptr;
    QMCheckHRESULT(CreateConsumerToken(m_consumers.NextConsumerNumber(), &pConsumerToken));
    const HRESULT hr = m_consumers.Add(pConsumerToken);
    if (FAILED(hr)) {
        pConsumerToken->Release();
        QMCheckHRESULT(hr);
    }
    // Live: what is kept already is behind it (it may step back with a lookup).
    if (!m_samples.empty())
        m_consumers.Find(pConsumerToken)->SetPosition(m_samples.rbegin()->first);
    *ppConsumerToken = pConsumerToken;  // the creation reference is the caller's
    return S_OK;
}

HRESULT ConsumerSampleMap::UnregisterConsumer(IConsumerToken* pConsumerToken) {
    QMCheckCondition(pConsumerToken != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    const HRESULT hr = m_consumers.Remove(pConsumerToken);
    QMCheckCondition(hr == S_OK, E_INVALIDARG);
    Trim();
    return S_OK;
}

HRESULT ConsumerSampleMap::LookupSample(IConsumerToken* pConsumerToken, Lookup lookup,
                                        REFERENCE_TIME time, IMediaSample** ppSample) {
    QMCheckCondition(ppSample != 0, E_POINTER);
    *ppSample = nullptr;
    QMCheckCondition(pConsumerToken != 0, E_POINTER);
    QMCheckCondition(pConsumerToken->GetState() != State_Stopped, VFW_E_WRONG_STATE);
    CAutoLock lock(&m_lock);
    const std::shared_ptr<ConsumerInfo> consumer = m_consumers.Find(pConsumerToken);
    QMCheckCondition(consumer != nullptr, E_INVALIDARG);

    Store::iterator it = m_samples.end();
    const SampleKey afterTime{time, std::numeric_limits<uint64_t>::max()};
    switch (lookup) {
        case Lookup::Next:
            it = m_samples.upper_bound(consumer->GetPosition());
            break;
        case Lookup::NextAfter:
            it = m_samples.upper_bound(afterTime);
            break;
        case Lookup::AtOrBefore:
            it = m_samples.upper_bound(afterTime);
            it = it == m_samples.begin() ? m_samples.end() : std::prev(it);
            break;
    }
    if (it == m_samples.end()) return QM_E_NO_SAMPLE;

    // A seek chooses its place: what was missed before it does not matter.
    const uint32_t skipped = consumer->TakeSkipped();
    consumer->SetPosition(it->first);
    consumer->NoteRead();
    KeptSample& kept = it->second;
    if (!kept.inUse) {
        kept.inUse = true;
        ++m_inUseCount;
    }
    kept.sample->AddRef();
    *ppSample = static_cast<IMediaSample2*>(kept.sample);
    Trim();
    return lookup == Lookup::Next && skipped ? QM_S_SAMPLES_SKIPPED : S_OK;
}

HRESULT ConsumerSampleMap::GetTimeRange(REFERENCE_TIME* pFirst, REFERENCE_TIME* pLast) const {
    QMCheckCondition(pFirst != 0 && pLast != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    *pFirst = *pLast = -1;
    if (m_samples.empty()) return QM_E_NO_SAMPLE;
    *pFirst = m_samples.begin()->first.time;
    *pLast = m_samples.rbegin()->first.time;
    return S_OK;
}

// ------------------------------------------------------------------------------------ modes

HRESULT ConsumerSampleMap::SetLoopMode(bool loop, REFERENCE_TIME length) {
    CAutoLock lock(&m_lock);
    if (loop) {
        QMCheckCondition(length > 0, E_INVALIDARG);
        m_mapMode |= IBufferSink::LoopMode;
        m_loopLength = length;
    } else {
        m_mapMode &= ~uint32_t(IBufferSink::LoopMode);
    }
    Trim();
    return S_OK;
}

bool ConsumerSampleMap::IsLoopMode() const {
    CAutoLock lock(&m_lock);
    return (m_mapMode & IBufferSink::LoopMode) != 0;
}

REFERENCE_TIME ConsumerSampleMap::GetLoopLength() const {
    CAutoLock lock(&m_lock);
    return m_loopLength;
}

HRESULT ConsumerSampleMap::SetSampleSortingMethod(IBufferSink::SortingMethod method) {
    CAutoLock lock(&m_lock);
    // A wrapping store is only ever in time order.
    QMCheckCondition((m_mapMode & IBufferSink::LoopMode) == 0, VFW_E_WRONG_STATE);
    m_sampleSortingMethod = method;
    return S_OK;
}

// ------------------------------------------------------------------------------ statistics

void ConsumerSampleMap::GetStatistics(uint64_t allocatedBytes,
                                      SampleMapStatistics* pStatistics) const {
    CAutoLock lock(&m_lock);
    SampleMapStatistics& s = *pStatistics;
    s = SampleMapStatistics{};
    s.keptBytes = m_keptBytes;
    s.allocatedBytes = allocatedBytes;
    s.keptCount = int32_t(m_samples.size());
    s.inUseCount = m_inUseCount;
    s.freeCount = int32_t(m_freeList.size());
    s.consumerCount = int32_t(m_consumers.size());
    s.keptTotal = m_keptTotal;
    s.reclaimedTotal = m_reclaimedTotal;
    if (!m_samples.empty()) {
        s.firstTime = m_samples.begin()->first.time;
        s.lastTime = m_samples.rbegin()->first.time;
        if (s.lastTime > s.firstTime)
            s.rate = double(m_samples.size() - 1) * 1e7 / double(s.lastTime - s.firstTime);
    }
}

std::vector<std::string> ConsumerSampleMap::StatisticsLines(uint64_t allocatedBytes) const {
    SampleMapStatistics s;
    GetStatistics(allocatedBytes, &s);
    std::vector<std::string> lines;
    const int percent = s.allocatedBytes ? int(s.keptBytes * 100 / s.allocatedBytes) : 0;
    lines.push_back(
        qm_log::FormatWide(TEXT("%I64u / %I64u bytes (%d%%) -> %d samples (free %d), fps %.1lf"),
                           (unsigned long long)s.keptBytes, (unsigned long long)s.allocatedBytes,
                           percent, int(s.keptCount), int(s.freeCount), s.rate));
    CAutoLock lock(&m_lock);
    std::vector<const ConsumerInfo*> consumers;
    for (const auto& [token, info] : m_consumers) consumers.push_back(info.get());
    std::sort(consumers.begin(), consumers.end(), [](const ConsumerInfo* a, const ConsumerInfo* b) {
        return a->GetNumber() < b->GetNumber();
    });
    for (const ConsumerInfo* info : consumers) {
        lines.push_back(qm_log::FormatWide(TEXT("Consumer: #%d %s %s"), int(info->GetNumber()),
                                           Widen(info->StateText()).c_str(),
                                           Widen(info->PositionText()).c_str()));
    }
    return lines;
}

HRESULT ConsumerSampleMap::DrawStatistics(uint64_t allocatedBytes,
                                          IStatisticsSurface* pSurface) const {
    QMCheckCondition(pSurface != 0, E_POINTER);
    int line = 0;
    for (const std::string& text : StatisticsLines(allocatedBytes))
        pSurface->DrawTextLine(line++, text.c_str());
    return S_OK;
}

void ConsumerSampleMap::Dump(uint64_t allocatedBytes, int reportLevel) const {
    if (qm_log::get_report_level(0) < std::max(reportLevel, 1)) return;
    for (const std::string& text : StatisticsLines(allocatedBytes))
        qm_log::_reportW(0, reportLevel, __FILE__, __LINE__, TEXT("%S"), text.c_str());
}

// -------------------------------------------------------------------------------- indexing

HRESULT ConsumerSampleMap::EnableIndexing(const AM_MEDIA_TYPE* pmt, bool useSampleMediaTimeAsPTS) {
    QMCheckCondition(pmt != 0, E_POINTER);
    CAutoLock lock(&m_lock);
    // The indexer takes the stream once, in order; a wrapping store would feed it again.
    QMCheckCondition((m_mapMode & IBufferSink::LoopMode) == 0, VFW_E_WRONG_STATE);
    if (IsEqualGUID(pmt->majortype, MEDIATYPE_Stream)) {
        // clang-format off
        QMCheckCondition(! useSampleMediaTimeAsPTS, E_INVALIDARG);
        // clang-format on
    }
    if (qm_MPEGUtil::IsIndexableSystemStreamType(*pmt)) {
        QMCheckHRESULT(m_indexedType.Set(*pmt));
        m_indexedStreamKind = 0;
        m_useSampleMediaTimeAsPTS = false;
        m_isIndexingEnabled = true;
        return S_OK;
    }
    const uint32_t streamKind = qm_MPEGUtil::ElementaryStreamKind(*pmt);
    if (streamKind == 0) return S_OK;
    m_useSampleMediaTimeAsPTS = useSampleMediaTimeAsPTS;
    if (!m_mpeg2Indexer) {
        QMCheckHRESULT(CreateIndexer(streamKind, pmt));
        m_indexedStreamKind = streamKind;
        m_hasFormatPayload = streamKind == qm_MPEGUtil::RAW_AAC_STREAM_KIND || pmt->cbFormat > 112;
    }
    m_isIndexingEnabled = true;
    return S_OK;
}

HRESULT ConsumerSampleMap::CreateIndexer(uint32_t streamKind, const AM_MEDIA_TYPE* pmt) {
    qm_MPEGUtil::IMPEG2Indexer* pMPEG2Indexer = nullptr;
    HMODULE hModule = nullptr;
    QMCheckHRESULT(qm_MPEGUtil::CreateMPEG2Indexer(streamKind, pmt, m_useSampleMediaTimeAsPTS,
                                                   &hModule, &pMPEG2Indexer));
    m_indexerFeeder.reset(new (std::nothrow) qm_MPEGUtil::IndexerFeeder(pMPEG2Indexer));
    if (!m_indexerFeeder) {
        pMPEG2Indexer->Release();
        FreeLibrary(hModule);
        QMCheckCondition(m_indexerFeeder != nullptr, E_OUTOFMEMORY);
    }
    m_mpeg2Indexer = pMPEG2Indexer;
    m_indexerModule = hModule;
    m_isIndexerLoaded = true;
    // Only what is kept from now on is indexed.
    if (!m_samples.empty()) m_lastIndexed = m_samples.rbegin()->first;
    return S_OK;
}

bool ConsumerSampleMap::IsIndexingEnabled() const {
    CAutoLock lock(&m_lock);
    return m_isIndexingEnabled;
}

bool ConsumerSampleMap::IsIndexerLoaded() const {
    CAutoLock lock(&m_lock);
    return m_isIndexerLoaded;
}

bool ConsumerSampleMap::HasIndexedFormatPayload() const {
    CAutoLock lock(&m_lock);
    return m_hasFormatPayload;
}

void ConsumerSampleMap::IndexNewSamples() {
    if (!m_mpeg2Indexer) {
        // A stream type: the indexer comes with the first buffer. Failing, indexing goes off.
        if (FAILED(QMLogHRESULT(CreateIndexer(m_indexedStreamKind, &m_indexedType)))) {
            m_isIndexingEnabled = false;
            return;
        }
        m_lastIndexed = kBeforeAllSamples;
    }
    for (auto it = m_samples.upper_bound(m_lastIndexed); it != m_samples.end(); ++it) {
        QMMediaSample* s = it->second.sample;
        REFERENCE_TIME start = -1, stop = -1;
        const HRESULT hrTime =
            m_useSampleMediaTimeAsPTS ? s->GetMediaTime(&start, &stop) : s->GetTime(&start, &stop);
        if (FAILED(hrTime)) start = stop = -1;
        if (hrTime == VFW_S_NO_STOP_TIME) stop = -1;
        QMLogHRESULT(
            m_indexerFeeder->AppendSample(s->GetBufferPointer(), it->second.bytes, start, stop));
        m_lastIndexed = it->first;
    }
}

HRESULT ConsumerSampleMap::FlushIndexer() {
    QMCheckCondition(m_mpeg2Indexer != 0, E_UNEXPECTED);
    QMCheckHRESULT(m_indexerFeeder->Flush());
    return S_OK;
}

HRESULT ConsumerSampleMap::GetMPEG2Indexer(qm_MPEGUtil::IMPEG2Indexer** ppMPEG2Indexer) {
    QMCheckCondition(ppMPEG2Indexer != 0, E_POINTER);
    *ppMPEG2Indexer = nullptr;
    CAutoLock lock(&m_lock);
    QMCheckCondition(m_mpeg2Indexer != 0, E_UNEXPECTED);
    QMLogHRESULT(FlushIndexer());
    m_mpeg2Indexer->AddRef();
    *ppMPEG2Indexer = m_mpeg2Indexer;
    return S_OK;
}

HRESULT ConsumerSampleMap::GetSystemStreamType(qm_MPEGUtil::SystemStreamType* pSystemStreamType) {
    QMCheckCondition(pSystemStreamType != 0, E_POINTER);
    *pSystemStreamType = qm_MPEGUtil::UNKNOWN_STREAM;
    CAutoLock lock(&m_lock);
    QMCheckCondition(m_mpeg2Indexer != 0, E_UNEXPECTED);
    QMLogHRESULT(FlushIndexer());
    qm_MPEGUtil::IMPEG2Indexer* mpeg2Index = m_mpeg2Indexer;
    const qm_MPEGUtil::SystemStreamType systemStreamType = mpeg2Index->GetSystemStreamType();
    *pSystemStreamType = systemStreamType;
    if (mpeg2Index->GetEntryCount() == 0) return S_OK;
    if (m_indexedStreamKind == qm_MPEGUtil::ADTS_AAC_STREAM_KIND)
        QMCheckCondition(
            mpeg2Index->GetSystemStreamType() == qm_MPEGUtil::ADTS_AAC_PURE_AUDIO_STREAM, E_FAIL);
    if (m_indexedStreamKind == qm_MPEGUtil::RAW_AAC_STREAM_KIND)
        QMCheckCondition(systemStreamType == qm_MPEGUtil::AAC_PURE_AUDIO_STREAM, E_FAIL);
    return S_OK;
}

}  // namespace qm_DSFilters
