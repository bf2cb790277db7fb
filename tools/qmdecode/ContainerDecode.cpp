#include "tools/qmdecode/ContainerDecode.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/Demultiplexer/DemultiplexerFilter.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "platform/graph/FilterGraph.h"
#include "tools/qmdecode/OutputTarget.h"
#include "tools/qmdecode/OutputWriters.h"
#include "tools/qmdecode/StreamSink.h"

namespace qmdecode {

namespace {

using qm_Demultiplexer::DemultiplexerFilter;
using qm_Demultiplexer::DemuxStream;
using qm_MPEGSystemFilters::StreamCoding;

struct ContainerOptions {
    bool info = false, demux = false, bench = false;
    int video = -1, audio = -1;  // stream numbers of the --info listing
    std::string outputFormat;
    std::vector<std::string> positional;
};

// False when an option belongs to the elementary-stream path only.
bool ParseContainerArgs(int argc, char** argv, ContainerOptions* o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--info")
            o->info = true;
        else if (a == "--demux")
            o->demux = true;
        else if (a == "--bench")
            o->bench = true;
        else if (a == "--video")
            o->video = std::atoi(value().c_str());
        else if (a == "--audio")
            o->audio = std::atoi(value().c_str());
        else if (a == "--output-format")
            o->outputFormat = value();
        else if (a.size() > 1 && a[0] == '-')
            return false;
        else
            o->positional.push_back(a);
    }
    return !o->positional.empty();
}

int Fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "qmdecode: %s\n", message.c_str());
    return code;
}

template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
};

bool IsVideo(const DemuxStream& s) {
    return IsEqualGUID(s.type.majortype, MEDIATYPE_Video);
}

// The decoder filter for a stream, or an explanation why there is none.
HRESULT CreateDecoder(const DemuxStream& s, IBaseFilter** decoder) {
    switch (s.info.coding) {
        case StreamCoding::MpegVideo:
            return qm_MPEGDecoderFilters::CreateMPEG2VideoDecoderFilter(decoder);
        case StreamCoding::Mpeg4Video:
            return qm_MPEGDecoderFilters::CreateMPEG4VideoDecoderFilter(decoder);
        case StreamCoding::MpegAudio:
            return qm_MPEGDecoderFilters::CreateMPEGAudioDecoderFilter(decoder);
        case StreamCoding::Ac3:
            return qm_MPEGDecoderFilters::CreateAC3AudioDecoderFilter(decoder);
        case StreamCoding::Lpcm:
            return qm_MPEGDecoderFilters::CreateDVDAudioDecoderFilter(decoder);
        default:
            return E_NOTIMPL;
    }
}

// Writes one decoded stream, moving to a numbered file when the format changes in a way the
// open file cannot carry.
class DecodedOutput {
public:
    DecodedOutput(std::string path, bool video, bool container, REFERENCE_TIME frameTime)
        : m_path(std::move(path)), m_video(video), m_container(container), m_frameTime(frameTime) {}

    HRESULT OnSample(const SinkSample& s) {
        if (s.newType) {
            CMediaType changed(*s.newType);
            if (m_open && !SameAudioFormat(changed)) {
                if (m_video) {
                    if (m_pictures.ChangeType(changed)) Reopen();
                } else {
                    Reopen();
                }
            }
            m_type = changed;
        }
        if (m_video)
            ++m_units;
        else
            m_units += uint64_t(std::max<LONG>(s.length, 0));
        if (m_path.empty()) return S_OK;
        if (!m_open && !Open()) return E_FAIL;
        m_error = m_video ? m_pictures.Write(s.data, s.length) : m_pcm.Write(s.data, s.length);
        return m_error ? E_FAIL : S_OK;
    }
    void SetType(const CMediaType& type) { m_type = type; }
    std::optional<std::string> Close() {
        auto a = m_pictures.Close();
        auto b = m_pcm.Close();
        if (m_error) return m_error;
        return a ? a : b;
    }
    uint64_t Units() const { return m_units; }
    const CMediaType& Type() const { return m_type; }

private:
    bool SameAudioFormat(const CMediaType& t) const {
        if (m_video || !m_type.pbFormat || !t.pbFormat) return false;
        const auto* a = reinterpret_cast<const WAVEFORMATEX*>(m_type.pbFormat);
        const auto* b = reinterpret_cast<const WAVEFORMATEX*>(t.pbFormat);
        return a->nChannels == b->nChannels && a->nSamplesPerSec == b->nSamplesPerSec &&
               a->wBitsPerSample == b->wBitsPerSample;
    }
    bool Open() {
        m_open = true;
        const std::string path = m_part == 0 ? m_path : NumberedName(m_path, m_part);
        if (m_video) {
            m_error = m_pictures.Open(path, m_container, m_type, m_frameTime);
        } else {
            const auto* w = reinterpret_cast<const WAVEFORMATEX*>(m_type.pbFormat);
            m_error = m_pcm.Open(path, m_container, w->nChannels, int(w->nSamplesPerSec),
                                 w->wBitsPerSample);
        }
        return !m_error;
    }
    void Reopen() {
        if (m_path == "-" || m_path.empty())
            return;  // a pipe carries on (raw) or nothing is written
        m_pictures.Close();
        m_pcm.Close();
        m_open = false;
        ++m_part;
        std::fprintf(stderr, "qmdecode: the %s format changes; what follows goes to '%s'\n",
                     m_video ? "picture" : "audio", NumberedName(m_path, m_part).c_str());
    }

    std::string m_path;
    bool m_video, m_container;
    REFERENCE_TIME m_frameTime;
    CMediaType m_type;
    PictureWriter m_pictures;
    PcmWriter m_pcm;
    bool m_open = false;
    int m_part = 0;
    uint64_t m_units = 0;
    std::optional<std::string> m_error;
};

std::vector<CMediaType> SinkTypes(bool video) {
    std::vector<CMediaType> accepted;
    CMediaType t;
    if (video) {
        t.majortype = MEDIATYPE_Video;
        for (int i = 0; i < qm::GetSubtypeColorFormatCount(); ++i) {
            t.subtype = qm::GetSubtypeColorFormat(i).subtype;
            accepted.push_back(t);
        }
    } else {
        t.majortype = MEDIATYPE_Audio;
        t.subtype = MEDIASUBTYPE_PCM;
        accepted.push_back(t);
    }
    return accepted;
}

// Runs the graph until the demultiplexer has sent end of stream, with a progress bar on a
// terminal for inputs of more than a few megabytes.
void RunToEnd(qm::graph::FilterGraph* graph, DemultiplexerFilter* demux) {
    const bool bar = isatty(2) && demux->TotalBytes() > (8u << 20);
    int last = -1;
    graph->Pause();
    graph->Run();
    while (!demux->Finished()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (!bar) continue;
        const int percent = int(100.0 * double(demux->BytesRead()) / double(demux->TotalBytes()));
        if (percent == last) continue;
        last = percent;
        std::fprintf(stderr, "\r[%-40s] %3d%%",
                     std::string(size_t(percent * 40 / 100), '#').c_str(), percent);
    }
    if (last >= 0) std::fprintf(stderr, "\r%60s\r", "");
    graph->Stop();
}

}  // namespace

std::optional<int> RunContainer(int argc, char** argv) {
    ContainerOptions o;
    if (!ParseContainerArgs(argc, argv, &o)) return std::nullopt;
    const std::string& input = o.positional[0];
    const std::vector<uint8_t> head = PeekInput(input, 65536);
    if (qm_MPEGSystemFilters::ProbeContainer(head.data(), head.size()) ==
        qm_MPEGSystemFilters::ContainerKind::None)
        return std::nullopt;
    if (o.positional.size() > 3) return Fail("too many outputs", 2);

    Ref<DemultiplexerFilter> demux;
    if (FAILED(DemultiplexerFilter::Create(&demux.p))) return Fail("out of memory");
    HRESULT hr = demux.p->Load(input, input == "-" ? TakePeekedStdin() : std::vector<uint8_t>{});
    if (FAILED(hr)) return Fail("cannot read the streams of '" + input + "'");
    const std::vector<DemuxStream>& streams = demux.p->Streams();
    FILE* listing = (o.positional.size() > 1 && o.positional[1] == "-") ? stderr : stdout;
    if (o.info) {
        std::fprintf(listing, "%s: %s\n", input.c_str(),
                     qm_MPEGSystemFilters::ContainerKindName(demux.p->Container()));
        for (size_t i = 0; i < streams.size(); ++i)
            std::fprintf(listing, "  stream %zu (id 0x%X): %s\n", i, unsigned(streams[i].info.key),
                         streams[i].description.c_str());
        if (o.positional.size() == 1 && !o.bench) return 0;
    }

    // The streams to use: asked for by number, else the first video and the first audio stream
    // that have a decoder (any, for --demux).
    auto usable = [&](size_t i, bool video) {
        if (!streams[i].typed || IsVideo(streams[i]) != video) return false;
        if (o.demux) return true;
        Ref<IBaseFilter> d;
        return SUCCEEDED(CreateDecoder(streams[i], &d.p));
    };
    auto choose = [&](int asked, bool video) -> long {
        if (asked >= 0)
            return size_t(asked) < streams.size() && streams[size_t(asked)].typed &&
                           IsVideo(streams[size_t(asked)]) == video
                       ? asked
                       : -2;
        for (size_t i = 0; i < streams.size(); ++i)
            if (usable(i, video)) return long(i);
        return -1;
    };
    long video = choose(o.video, true), audio = choose(o.audio, false);
    if (video == -2)
        return Fail("--video " + std::to_string(o.video) + " names no video stream", 2);
    if (audio == -2)
        return Fail("--audio " + std::to_string(o.audio) + " names no audio stream", 2);
    // Outputs: by extension when it tells, else video first.
    std::vector<std::string> outputs(o.positional.begin() + 1, o.positional.end());
    std::string videoOut, audioOut;
    const bool preferAudio = video < 0 || (o.audio >= 0 && o.video < 0);
    for (const std::string& out : outputs) {
        const bool audioName =
            EndsWith(out, ".wav") || EndsWith(out, ".pcm") || o.outputFormat == "wav";
        const bool videoName =
            EndsWith(out, ".y4m") || EndsWith(out, ".yuv") || o.outputFormat == "y4m";
        if (audioName && audioOut.empty())
            audioOut = out;
        else if (videoName && videoOut.empty())
            videoOut = out;
        else if (videoOut.empty() && !preferAudio)
            videoOut = out;
        else if (audioOut.empty())
            audioOut = out;
    }
    if (o.demux) {
        // One stream, written unchanged.
        const long index = o.audio >= 0 || (video < 0) ? audio : video;
        const std::string out = videoOut.empty() ? audioOut : videoOut;
        if (index < 0) return Fail("no stream to write");
        if (out.empty() && !o.bench) return Fail("--demux needs an OUTPUT", 2);
        if (FAILED(demux.p->SelectStreams({size_t(index)})))
            return Fail("cannot select the stream");
        std::FILE* file = out.empty() ? nullptr : OpenOutputFile(out);
        if (!out.empty() && !file) return Fail("cannot write '" + out + "'");
        uint64_t bytes = 0;
        bool writeFailed = false;
        StreamSink* sinkPtr = nullptr;
        StreamSink::Create(
            {streams[size_t(index)].type},
            [&](const SinkSample& s) {
                bytes += uint64_t(s.length);
                if (file && std::fwrite(s.data, 1, size_t(s.length), file) != size_t(s.length))
                    writeFailed = true;
                return writeFailed ? E_FAIL : S_OK;
            },
            &sinkPtr);
        Ref<StreamSink> sink{sinkPtr};
        Ref<qm::graph::FilterGraph> graph;
        qm::graph::FilterGraph::Create(&graph.p);
        graph.p->AddFilter(demux.p, TEXT("demultiplexer"));
        graph.p->AddFilter(sink.p, TEXT("sink"));
        if (FAILED(graph.p->ConnectFilters(demux.p, sink.p))) return Fail("cannot connect");
        RunToEnd(graph.p, demux.p);
        if (!CloseOutputFile(file) || writeFailed) return Fail("write failed");
        std::fprintf(listing, "stream %ld: %s, %llu bytes%s%s\n", index,
                     streams[size_t(index)].description.c_str(), (unsigned long long)bytes,
                     out.empty() ? "" : " -> ", out.c_str());
        return 0;
    }

    if (video < 0 && audio < 0) return Fail("no stream that can be decoded");
    if (outputs.empty() && !o.bench) return Fail("no OUTPUT given (use --bench or --info)", 2);
    if (videoOut.empty() && !o.bench) video = -1;
    if (audioOut.empty() && !o.bench) audio = -1;
    std::vector<size_t> selected;
    if (video >= 0) selected.push_back(size_t(video));
    if (audio >= 0) selected.push_back(size_t(audio));
    if (selected.empty()) return Fail("no stream for the outputs given");
    if (FAILED(demux.p->SelectStreams(selected))) return Fail("cannot select the streams");

    Ref<qm::graph::FilterGraph> graph;
    qm::graph::FilterGraph::Create(&graph.p);
    graph.p->AddFilter(demux.p, TEXT("demultiplexer"));
    struct Branch {
        Ref<IBaseFilter> decoder;
        Ref<StreamSink> sink;
        std::unique_ptr<DecodedOutput> output;
        size_t stream;
    };
    std::vector<Branch> branches(selected.size());
    for (size_t b = 0; b < selected.size(); ++b) {
        Branch& br = branches[b];
        br.stream = selected[b];
        const DemuxStream& s = streams[br.stream];
        const bool isVideo = IsVideo(s);
        if (FAILED(CreateDecoder(s, &br.decoder.p)))
            return Fail("no decoder for stream " + std::to_string(br.stream) + " (" +
                        s.description + ")");
        REFERENCE_TIME frameTime = 0;
        if (isVideo) qm::GetAverageTimePerFrame(s.type, &frameTime);
        const std::string& out = o.bench ? std::string() : isVideo ? videoOut : audioOut;
        br.output = std::make_unique<DecodedOutput>(
            out, isVideo, WantsContainer(out, o.outputFormat, isVideo ? ".y4m" : ".wav"),
            frameTime);
        DecodedOutput* output = br.output.get();
        StreamSink* sinkPtr = nullptr;
        StreamSink::Create(
            SinkTypes(isVideo), [output](const SinkSample& x) { return output->OnSample(x); },
            &sinkPtr);
        br.sink.p = sinkPtr;
        graph.p->AddFilter(br.decoder.p, nullptr);
        graph.p->AddFilter(br.sink.p, nullptr);
        std::vector<IPin*> pins = qm::graph::PinsOf(demux.p, PINDIR_OUTPUT);
        std::vector<IPin*> inputs = qm::graph::PinsOf(br.decoder.p, PINDIR_INPUT);
        hr = pins.size() > b && !inputs.empty()
                 ? graph.p->ConnectDirect(pins[b], inputs[0], nullptr)
                 : E_FAIL;
        qm::graph::ReleasePins(pins);
        qm::graph::ReleasePins(inputs);
        if (FAILED(hr)) {
            char text[160];
            std::snprintf(text, sizeof(text), "the decoder refuses stream %zu, %s (0x%08X)",
                          br.stream, s.description.c_str(), unsigned(hr));
            return Fail(text);
        }
        if (FAILED(graph.p->ConnectFilters(br.decoder.p, br.sink.p)))
            return Fail("the decoder offers no output format that the sink accepts");
        br.output->SetType(br.sink.p->ConnectionType());
    }
    const auto begin = std::chrono::steady_clock::now();
    RunToEnd(graph.p, demux.p);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    int status = 0;
    for (Branch& br : branches) {
        const DemuxStream& s = streams[br.stream];
        if (auto e = br.output->Close()) status = Fail(*e);
        std::string amount;
        if (IsVideo(s)) {
            amount = std::to_string(br.output->Units()) + " frames";
        } else {
            const auto* w = reinterpret_cast<const WAVEFORMATEX*>(br.output->Type().pbFormat);
            amount =
                std::to_string(br.output->Units() / std::max<WORD>(1, w ? w->nBlockAlign : 1)) +
                " samples";
        }
        const std::string& out = IsVideo(s) ? videoOut : audioOut;
        std::fprintf(listing, "stream %zu: %s: %s%s%s\n", br.stream, s.description.c_str(),
                     amount.c_str(), out.empty() ? "" : " -> ", out.c_str());
        if (br.output->Units() == 0)
            status = Fail("nothing decoded from stream " + std::to_string(br.stream));
    }
    if (FAILED(demux.p->StreamingResult())) {
        char text[96];
        std::snprintf(text, sizeof(text), "a decoder stopped accepting data (0x%08X)",
                      unsigned(demux.p->StreamingResult()));
        status = Fail(text);
    }
    if (demux.p->DamagedUnits() > 0)
        std::fprintf(stderr, "qmdecode: %llu damaged access units were skipped\n",
                     (unsigned long long)demux.p->DamagedUnits());
    std::fprintf(listing, "decoded in %.3f s\n", seconds);
    return status;
}

}  // namespace qmdecode
