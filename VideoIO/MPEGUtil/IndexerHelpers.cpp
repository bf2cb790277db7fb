#include "VideoIO/MPEGUtil/IndexerHelpers.h"

#include <atomic>

#include "diagnostics/CheckForms.h"
#include "platform/win32/Module.h"

namespace qm_MPEGUtil {

namespace {

constexpr GUID kIndexableStreamSubtype = {
    0x138AA9A4, 0x1EE2, 0x4C5B, {0x98, 0x8E, 0x19, 0xAB, 0xFD, 0xBC, 0x8A, 0x11}};

std::atomic<LPCWSTR> g_libraryName{nullptr};

}  // namespace

bool IsIndexableSystemStreamType(const AM_MEDIA_TYPE& mt) {
    if (!IsEqualGUID(mt.majortype, MEDIATYPE_Stream)) return false;
    return IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG1System) ||
           IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG2_PROGRAM) ||
           IsEqualGUID(mt.subtype, MEDIASUBTYPE_MPEG2_TRANSPORT) ||
           IsEqualGUID(mt.subtype, kIndexableStreamSubtype);
}

uint32_t ElementaryStreamKind(const AM_MEDIA_TYPE& mt) {
    if (IsEqualGUID(mt.majortype, MEDIATYPE_Video) &&
        IsEqualGUID(mt.subtype, qm::MediaSubtypeFromFourCC(qm::MakeFourCC('H', '2', '6', '4'))))
        return H264_STREAM_KIND;
    if (IsEqualGUID(mt.majortype, MEDIATYPE_Audio)) {
        if (IsEqualGUID(mt.subtype, qm::MediaSubtypeFromFourCC(0x00FF))) return RAW_AAC_STREAM_KIND;
        if (IsEqualGUID(mt.subtype, qm::MediaSubtypeFromFourCC(0x1600)))
            return ADTS_AAC_STREAM_KIND;
    }
    return 0;
}

void SetIndexerLibraryName(LPCWSTR name) {
    g_libraryName = name;
}

HRESULT CreateMPEG2Indexer(uint32_t streamKind, const AM_MEDIA_TYPE* pmt,
                           bool useSampleMediaTimeAsPTS, HMODULE* phModule,
                           IMPEG2Indexer** ppMPEG2Indexer) {
    QMCheckCondition(phModule != 0 && ppMPEG2Indexer != 0, E_POINTER);
    *phModule = nullptr;
    *ppMPEG2Indexer = nullptr;
    LPCWSTR name = g_libraryName.load();
    HMODULE hModule = LoadLibraryW(name ? name : TEXT("qm_MPEGSystemFilters.dll"));
    CheckLastErrorCondition(hModule != 0);
    const auto pfnCreateMPEG2Indexer = reinterpret_cast<CreateMPEG2IndexerForBufferFn>(
        reinterpret_cast<void*>(GetProcAddress(hModule, "CreateMPEG2IndexerForBuffer")));
    if (!pfnCreateMPEG2Indexer) {
        // The error of the failed lookup, before FreeLibrary can change it.
        const DWORD error = GetLastError();
        FreeLibrary(hModule);
        SetLastError(error);
        CheckLastErrorCondition(pfnCreateMPEG2Indexer != 0);
    }
    IMPEG2Indexer* pMPEG2Indexer = nullptr;
    const HRESULT hr =
        pfnCreateMPEG2Indexer(streamKind, pmt, useSampleMediaTimeAsPTS ? 1 : 0, &pMPEG2Indexer);
    if (FAILED(hr) || !pMPEG2Indexer) {
        if (pMPEG2Indexer) pMPEG2Indexer->Release();
        FreeLibrary(hModule);
        QMCheckHRESULT(hr);
        QMCheckCondition(pMPEG2Indexer != 0, E_UNEXPECTED);
    }
    *phModule = hModule;
    *ppMPEG2Indexer = pMPEG2Indexer;
    return S_OK;
}

IndexerFeeder::IndexerFeeder(IMPEG2Indexer* pMPEG2Indexer) : m_pMPEG2Indexer(pMPEG2Indexer) {
    m_pMPEG2Indexer->AddRef();
}

IndexerFeeder::~IndexerFeeder() {
    m_pMPEG2Indexer->Release();
}

HRESULT IndexerFeeder::Scan(const uint8_t* data, uint32_t size, const IndexedSample* samples,
                            uint32_t count) {
    const HRESULT hr = m_pMPEG2Indexer->IndexBuffer(data, size, samples, count);
    // Fed without completing a unit is as good as fed.
    QMCheckCondition(hr == S_OK || hr == HRESULT(kIndexerNoUnit), FAILED(hr) ? hr : E_UNEXPECTED);
    return S_OK;
}

}  // namespace qm_MPEGUtil
