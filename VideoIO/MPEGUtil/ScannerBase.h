// The working buffer between the sample store and a scanner of its bytes: samples are
// appended whole, with their times, and scanned together when the buffer is full or flushed,
// so the scanner sees few large pieces rather than many small ones.
#pragma once

#include <cstdint>
#include <vector>

#include "VideoIO/MPEGUtil/MPEG2Indexer.h"
#include "platform/dshow/DShow.h"

namespace qm_MPEGUtil {

class ScannerBase {
public:
    explicit ScannerBase(uint32_t bufferSize = 1 << 20);
    virtual ~ScannerBase();
    ScannerBase(const ScannerBase&) = delete;
    ScannerBase& operator=(const ScannerBase&) = delete;

    // One sample's bytes and times (start -1: none). A full buffer is scanned first; a sample
    // that does not fit even into an empty one is refused (E_INVALIDARG).
    HRESULT AppendSample(const BYTE* pData, LONG sampleDataLength, REFERENCE_TIME start,
                         REFERENCE_TIME stop);
    // Scans what the buffer holds and empties it.
    HRESULT Flush();
    uint32_t GetBufferDataSize() const { return m_bufferDataSize; }

protected:
    virtual HRESULT Scan(const uint8_t* data, uint32_t size, const IndexedSample* samples,
                         uint32_t count) = 0;

private:
    std::vector<uint8_t> m_buffer;
    uint32_t m_bufferDataSize = 0;
    std::vector<IndexedSample> m_samples;
};

}  // namespace qm_MPEGUtil
