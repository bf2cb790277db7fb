// A source filter that reads an MPEG program/transport stream, DVD VOB or AVI file (or standard
// input), finds its elementary streams in the first megabytes and pushes each selected stream on
// its own output pin ("Video 0", "Audio 1", ...) from its own streaming thread: one access unit
// per sample (split when it does not fit a buffer), times from the PTS in 100-ns units relative
// to the earliest first time stamp, sync points where a unit starts with a time, a discontinuity
// after lost data (damaged units are not delivered), a new segment at the start and end of
// stream on every pin. Stop, pause and run work from any state; after a stop a file is read
// again from its start.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "VideoIO/MPEGSystemFilters/ContainerProbe.h"
#include "platform/dshow/DShow.h"

namespace qm_Demultiplexer {

struct DemuxStream {
    qm_MPEGSystemFilters::StreamInfo info;
    CMediaType type;  // valid when `typed`
    bool typed = false;
    std::string description;
    int64_t firstPts = -1;  // 90 kHz, unwrapped
    size_t largestUnit = 0;
};

class DemultiplexerFilter : public CBaseFilter {
public:
    // VFW_E_UNKNOWN_FILE_TYPE.
    static constexpr HRESULT kUnknownFileType = HRESULT(0x80040240u);
    static HRESULT Create(DemultiplexerFilter** ppFilter);

    // Opens `path` ("-": standard input, of which the caller may have read `alreadyRead`) and
    // probes it. E_FAIL for an unreadable file, kUnknownFileType when it is no container this
    // filter reads.
    HRESULT Load(const std::string& path, std::vector<uint8_t> alreadyRead = {});
    qm_MPEGSystemFilters::ContainerKind Container() const { return m_container; }
    // Every stream found, in the order of first appearance.
    const std::vector<DemuxStream>& Streams() const { return m_streams; }
    // Makes one output pin per index of Streams() (streams without a media type are refused
    // with E_INVALIDARG). Only before connection; replaces an earlier selection.
    HRESULT SelectStreams(const std::vector<size_t>& indices);

    CBasePin* GetPin(int n) override;
    int GetPinCount() override;

    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;

    // Progress of the streaming thread; total is 0 for a pipe.
    uint64_t BytesRead() const { return m_bytesRead.load(); }
    uint64_t TotalBytes() const { return m_totalBytes; }
    // True once the streaming thread has sent end of stream (or stopped on a failure).
    bool Finished() const { return m_finished.load(); }
    // The first delivery failure other than a stop, S_OK otherwise.
    HRESULT StreamingResult() const { return m_streamingResult.load(); }
    uint64_t DamagedUnits() const { return m_damagedUnits.load(); }

private:
    class OutputPin;
    class Streamer;
    DemultiplexerFilter();
    ~DemultiplexerFilter() override;

    void StreamingThread();
    size_t ReadInput(uint8_t* buffer, size_t size);
    void StopThread();

    CCritSec m_lock;
    std::vector<OutputPin*> m_pins;
    std::vector<DemuxStream> m_streams;
    qm_MPEGSystemFilters::ContainerKind m_container = qm_MPEGSystemFilters::ContainerKind::None;
    std::string m_path;
    FILE* m_file = nullptr;
    bool m_isPipe = false;
    std::vector<uint8_t> m_head;  // what probing read from a pipe, replayed on the first run
    int64_t m_timeBase = 0;       // 90 kHz
    uint64_t m_totalBytes = 0;
    int m_runs = 0;

    std::thread m_thread;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_finished{false};
    std::atomic<uint64_t> m_bytesRead{0};
    std::atomic<HRESULT> m_streamingResult{S_OK};
    std::atomic<uint64_t> m_damagedUnits{0};
};

}  // namespace qm_Demultiplexer
