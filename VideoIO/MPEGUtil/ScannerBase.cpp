#include "VideoIO/MPEGUtil/ScannerBase.h"

#include <cstring>

#include "diagnostics/CheckForms.h"

namespace qm_MPEGUtil {

ScannerBase::ScannerBase(uint32_t bufferSize) : m_buffer(bufferSize) {}

ScannerBase::~ScannerBase() = default;

HRESULT ScannerBase::AppendSample(const BYTE* pData, LONG sampleDataLength, REFERENCE_TIME start,
                                  REFERENCE_TIME stop) {
    QMCheckCondition(sampleDataLength >= 0, E_INVALIDARG);
    QMCheckCondition(pData != 0 || sampleDataLength == 0, E_POINTER);
    const uint64_t bufferSize = m_buffer.size();
    if (uint64_t(m_bufferDataSize) + uint64_t(sampleDataLength) >= bufferSize)
        QMCheckHRESULT(Flush());
    const uint64_t bufferDataSize = m_bufferDataSize;
    QMCheckCondition((bufferDataSize + sampleDataLength) < bufferSize, E_INVALIDARG);
    std::memcpy(m_buffer.data() + bufferDataSize, pData, size_t(sampleDataLength));
    IndexedSample sample;
    sample.offset = m_bufferDataSize;
    sample.length = uint32_t(sampleDataLength);
    sample.start = start < 0 ? kIndexerNoTime : start;
    sample.stop = start < 0 || stop < start ? kIndexerNoTime : stop;
    m_samples.push_back(sample);
    m_bufferDataSize += uint32_t(sampleDataLength);
    return S_OK;
}

HRESULT ScannerBase::Flush() {
    if (m_samples.empty()) return S_OK;
    const HRESULT hr =
        Scan(m_buffer.data(), m_bufferDataSize, m_samples.data(), uint32_t(m_samples.size()));
    // Scanned or not, these bytes are done with: a failure must not make them come back.
    m_bufferDataSize = 0;
    m_samples.clear();
    QMCheckHRESULT(hr);
    return S_OK;
}

}  // namespace qm_MPEGUtil
