// Loading the indexer of qm_MPEGSystemFilters for the sample store: which media types are
// indexed and as what, the library and its export, and the feeder that hands the kept
// samples' bytes to the indexer.
#pragma once

#include <cstdint>

#include "VideoIO/MPEGUtil/MPEG2Indexer.h"
#include "VideoIO/MPEGUtil/ScannerBase.h"
#include "platform/dshow/DShow.h"

namespace qm_MPEGUtil {

// Stream types (MEDIATYPE_Stream) of the system layer that can be indexed.
bool IsIndexableSystemStreamType(const AM_MEDIA_TYPE& mt);
// The stream-kind word of an indexable elementary type (H.264, raw AAC, ADTS AAC); 0 else.
uint32_t ElementaryStreamKind(const AM_MEDIA_TYPE& mt);

// Loads the library, finds its export and creates an indexer for streamKind. The module stays
// loaded through *phModule for as long as the indexer lives.
HRESULT CreateMPEG2Indexer(uint32_t streamKind, const AM_MEDIA_TYPE* pmt,
                           bool useSampleMediaTimeAsPTS, HMODULE* phModule,
                           IMPEG2Indexer** ppMPEG2Indexer);

// The library that CreateMPEG2Indexer loads ("qm_MPEGSystemFilters.dll"; null restores it).
// For tests that need a library that is missing or lacks the export.
void SetIndexerLibraryName(LPCWSTR name);

// Feeds buffered samples to an indexer (which it holds a reference on).
class IndexerFeeder : public ScannerBase {
public:
    explicit IndexerFeeder(IMPEG2Indexer* pMPEG2Indexer);
    ~IndexerFeeder() override;

protected:
    HRESULT Scan(const uint8_t* data, uint32_t size, const IndexedSample* samples,
                 uint32_t count) override;

private:
    IMPEG2Indexer* m_pMPEG2Indexer;
};

}  // namespace qm_MPEGUtil
