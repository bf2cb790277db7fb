// qmdecode [--type mpeg2|mpa|lpcm] [--rate N] [--format SUBTYPE] [--info] [--frame N OUT.bmp]
//          [--bench] INPUT [OUTPUT]
// Decodes an elementary stream file through the filter graph: push source -> decoder filter ->
// sink, and writes pictures as YUV4MPEG2 or raw frames, audio as WAV or raw PCM.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"
#include "VideoIO/MPEGDecoderFilters/DecoderFilters.h"
#include "platform/graph/FilterGraph.h"
#include "platform/graph/PushSource.h"
#include "tools/qmdecode/ContainerDecode.h"
#include "tools/qmdecode/FormatChanges.h"
#include "tools/qmdecode/OutputTarget.h"
#include "tools/qmdecode/OutputWriters.h"
#include "tools/qmdecode/StreamProbe.h"
#include "tools/qmdecode/StreamSink.h"
#include "tools/qmdecode/VideoUnits.h"
#ifdef _WIN32
#include "tools/qmdecode/DirectShowGraph.h"
#endif

using namespace qmdecode;

#ifdef _WIN32
using HostGraph = qmdecode::DirectShowGraph;
#else
using HostGraph = qm::graph::FilterGraph;
#endif

namespace {

struct Options {
    std::optional<StreamKind> type;
    int lpcmRate = 48000;
    std::string format;
    std::string outputFormat;  // y4m, wav or raw: for names without a telling extension
    bool info = false;
    bool bench = false;
    long frame = -1;
    std::string bmpPath;
    std::string input, output;
};

[[noreturn]] void Fail(const std::string& message, int code = 1) {
    std::fprintf(stderr, "qmdecode: %s\n", message.c_str());
    std::exit(code);
}

void Usage() {
    std::fprintf(
        stderr,
        "usage: qmdecode [--type mpeg2|mpa|lpcm] [--rate N] [--format SUBTYPE] [--info]\n"
        "                [--frame N OUT.bmp] [--bench] [--output-format y4m|wav|raw]\n"
        "                INPUT [OUTPUT]\n"
        "       qmdecode [--info] [--demux] [--video N] [--audio N] [--output-format F]\n"
        "                CONTAINER [OUTPUT [OUTPUT]]  (.mpg .vob .ts .avi; N: --info's number)\n"
        "  INPUT or OUTPUT '-': standard input or output\n"
        "  OUTPUT: .y4m (YUV4MPEG2) or raw frames for video, .wav or raw PCM for audio\n"
        "  SUBTYPE: yuy2 nv12 uyvy rgb24 rgb32 argb32 rgb8 rgb555 rgb565 i420 iyuv yv12\n"
        "           yvu9 hdyc y800 (default: the decoder's preferred format)\n");
}

Options ParseArgs(int argc, char** argv) {
    Options o;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) Fail(a + " needs a value", 2);
            return argv[++i];
        };
        if (a == "--type") {
            const std::string t = next();
            if (t == "mpeg2" || t == "mpeg1" || t == "video")
                o.type = StreamKind::MpegVideo;
            else if (t == "mpa" || t == "mp3" || t == "audio")
                o.type = StreamKind::MpegAudio;
            else if (t == "lpcm")
                o.type = StreamKind::Lpcm;
            else if (t == "ac3")
                o.type = StreamKind::Ac3;
            else
                Fail("unknown --type '" + t + "' (mpeg2, mpa, ac3 or lpcm)", 2);
        } else if (a == "--rate") {
            o.lpcmRate = std::atoi(next().c_str());
        } else if (a == "--format") {
            o.format = next();
        } else if (a == "--output-format") {
            o.outputFormat = next();
        } else if (a == "--info") {
            o.info = true;
        } else if (a == "--bench") {
            o.bench = true;
        } else if (a == "--frame") {
            o.frame = std::atol(next().c_str());
            o.bmpPath = next();
            if (o.frame < 0) Fail("--frame needs a picture number of 0 or more", 2);
        } else if (a == "-h" || a == "--help") {
            Usage();
            std::exit(0);
        } else if (a.size() > 1 && a[0] == '-') {
            Fail("unknown option '" + a + "'", 2);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        Usage();
        std::exit(2);
    }
    o.input = positional[0];
    if (positional.size() == 2) o.output = positional[1];
    return o;
}

std::optional<GUID> SubtypeByName(std::string name) {
    for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
    struct Named {
        const char* name;
        GUID subtype;
    };
    const Named names[] = {
        {"yuy2", MEDIASUBTYPE_YUY2},     {"nv12", MEDIASUBTYPE_NV12},
        {"uyvy", MEDIASUBTYPE_UYVY},     {"rgb24", MEDIASUBTYPE_RGB24},
        {"rgb32", MEDIASUBTYPE_RGB32},   {"argb32", MEDIASUBTYPE_ARGB32},
        {"rgb8", MEDIASUBTYPE_RGB8},     {"rgb555", MEDIASUBTYPE_RGB555},
        {"rgb565", MEDIASUBTYPE_RGB565}, {"i420", qm::MEDIASUBTYPE_I420},
        {"iyuv", MEDIASUBTYPE_IYUV},     {"yv12", MEDIASUBTYPE_YV12},
        {"yvu9", MEDIASUBTYPE_YVU9},     {"hdyc", qm::MEDIASUBTYPE_HDYC},
        {"y800", qm::MEDIASUBTYPE_Y800},
    };
    for (const Named& n : names)
        if (name == n.name) return n.subtype;
    return std::nullopt;
}

std::string SubtypeName(const GUID& subtype) {
    const UMC::ColorFormat f = qm::ColorFormatFromSubtype(subtype);
    if (f != UMC::NONE) return UMC::GetColorFormatName(f);
    if (IsEqualGUID(subtype, MEDIASUBTYPE_PCM)) return "PCM";
    if (IsEqualGUID(subtype, MEDIASUBTYPE_MPEG2_VIDEO)) return "MPEG2_VIDEO";
    if (IsEqualGUID(subtype, MEDIASUBTYPE_MPEG1Payload)) return "MPEG1Payload";
    if (IsEqualGUID(subtype, MEDIASUBTYPE_DVD_LPCM_AUDIO)) return "DVD_LPCM_AUDIO";
    return qm::GuidToString(subtype);
}

std::string DescribeType(const CMediaType& mt) {
    std::string s = (IsEqualGUID(mt.majortype, MEDIATYPE_Video) ? "Video/" : "Audio/") +
                    SubtypeName(mt.subtype);
    char text[160];
    if (IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx) && mt.cbFormat >= sizeof(WAVEFORMATEX)) {
        const auto* w = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
        std::snprintf(text, sizeof(text), " WAVEFORMAT%s tag 0x%04X, %u ch, %lu Hz, %u bits",
                      w->wFormatTag == 0xFFFE ? "EXTENSIBLE" : "EX", w->wFormatTag, w->nChannels,
                      (unsigned long)w->nSamplesPerSec, w->wBitsPerSample);
        return s + text;
    }
    LONG width = 0, height = 0, ax = 0, ay = 0;
    DWORD flags = 0;
    REFERENCE_TIME avg = 0;
    if (SUCCEEDED(qm::GetPictureSize(mt, &width, &height))) {
        qm::GetPictureAspectRatio(mt, &ax, &ay);
        qm::GetInterlaceFlags(mt, &flags);
        qm::GetAverageTimePerFrame(mt, &avg);
        std::snprintf(text, sizeof(text), " %ldx%ld, aspect %ld:%ld, interlace 0x%lX, %lld/frame",
                      long(width), long(height), long(ax), long(ay), (unsigned long)flags,
                      (long long)avg);
        s += text;
    }
    return s;
}

class Progress {
public:
    explicit Progress(size_t total) : m_total(total), m_tty(isatty(2) != 0) {}
    void Update(size_t done) {
        if (!m_tty || m_total == 0) return;
        const int percent = int(100.0 * double(done) / double(m_total));
        if (percent == m_last) return;
        m_last = percent;
        const int bar = percent * 40 / 100;
        std::fprintf(stderr, "\r[%-40s] %3d%%", std::string(size_t(bar), '#').c_str(), percent);
        std::fflush(stderr);
    }
    void Done() {
        if (m_tty && m_last >= 0) std::fprintf(stderr, "\r%60s\r", "");
    }

private:
    size_t m_total;
    bool m_tty;
    int m_last = -1;
};

// Releases a COM object at scope end.
template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (auto status = RunContainer(argc, argv)) return *status;
    const Options options = ParseArgs(argc, argv);
    qmtool::InputFile input;
    if (!OpenInputFile(options.input, input)) Fail("cannot read '" + options.input + "'");
    const std::span<const uint8_t> file = input.Bytes();
    if (file.empty()) Fail("'" + options.input + "' is empty");
    ProbedStream stream;
    if (auto error = ProbeStream(file, options.type, options.lpcmRate, &stream)) Fail(*error);
    const bool video = stream.kind == StreamKind::MpegVideo;
    if (!options.bench && options.frame < 0 && options.output.empty() && !options.info)
        Fail("no OUTPUT given (use --bench or --info to decode without writing)", 2);
    if (options.frame >= 0 && !video) Fail("--frame needs a video stream", 2);

    // The decoder and the types the sink accepts.
    Ref<IBaseFilter> decoder;
    HRESULT hr = stream.mpeg4 ? qm_MPEGDecoderFilters::CreateMPEG4VideoDecoderFilter(&decoder.p)
                 : video      ? qm_MPEGDecoderFilters::CreateMPEG2VideoDecoderFilter(&decoder.p)
                 : stream.kind == StreamKind::MpegAudio
                     ? qm_MPEGDecoderFilters::CreateMPEGAudioDecoderFilter(&decoder.p)
                 : stream.kind == StreamKind::Ac3
                     ? qm_MPEGDecoderFilters::CreateAC3AudioDecoderFilter(&decoder.p)
                     : qm_MPEGDecoderFilters::CreateDVDAudioDecoderFilter(&decoder.p);
    if (FAILED(hr)) Fail("cannot create the decoder filter");
    std::vector<CMediaType> accepted;
    if (video) {
        std::optional<GUID> subtype;
        if (options.frame >= 0)
            subtype = MEDIASUBTYPE_RGB24;
        else if (!options.format.empty()) {
            subtype = SubtypeByName(options.format);
            if (!subtype) Fail("unknown --format '" + options.format + "'", 2);
        }
        CMediaType t;
        t.majortype = MEDIATYPE_Video;
        if (subtype) {
            t.subtype = *subtype;
            accepted.push_back(t);
        } else {
            for (int i = 0; i < qm::GetSubtypeColorFormatCount(); ++i) {
                t.subtype = qm::GetSubtypeColorFormat(i).subtype;
                accepted.push_back(t);
            }
        }
    } else {
        CMediaType t;
        t.majortype = MEDIATYPE_Audio;
        t.subtype = MEDIASUBTYPE_PCM;
        accepted.push_back(t);
    }

    // Output writers, opened once the output type is known.
    PictureWriter pictures;
    PcmWriter pcm;
    bool writerOpen = false;
    std::optional<std::string> writeError;
    long pictureCount = 0;
    // Across format changes: sample frames and seconds, each part in its own format.
    uint64_t pcmFrames = 0;
    double pcmSeconds = 0;
    CMediaType outputType;
    std::string outputName = options.output;
    int outputPart = 0;
    StreamSink* sinkPtr = nullptr;
    auto onSample = [&](const SinkSample& s) -> HRESULT {
        if (s.newType) {
            if (writerOpen && NeedsNewOutput(outputType, *s.newType, video, pictures)) {
                // What follows goes to a numbered output in its own format.
                pictures.Close();
                pcm.Close();
                writerOpen = false;
                outputName = NumberedName(options.output, ++outputPart);
                std::fprintf(stderr, "qmdecode: the stream changes format; the rest goes to '%s'\n",
                             outputName.c_str());
            }
            outputType = *s.newType;
        }
        if (video) {
            const long index = pictureCount++;
            if (options.frame >= 0) {
                if (index == options.frame)
                    writeError = WriteBmp24(options.bmpPath, outputType, s.data, s.length);
                return writeError ? E_FAIL : S_OK;
            }
        } else {
            const auto* w = reinterpret_cast<const WAVEFORMATEX*>(outputType.pbFormat);
            const uint64_t frames =
                uint64_t(s.length > 0 ? s.length : 0) / std::max<uint64_t>(1, w->nBlockAlign);
            pcmFrames += frames;
            pcmSeconds += double(frames) / double(std::max<DWORD>(1, w->nSamplesPerSec));
        }
        if (options.bench || options.output.empty()) return S_OK;
        if (!writerOpen) {
            writerOpen = true;
            if (video) {
                writeError = pictures.Open(
                    outputName, WantsContainer(options.output, options.outputFormat, ".y4m"),
                    outputType, stream.avgTimePerFrame);
            } else {
                const auto* w = reinterpret_cast<const WAVEFORMATEX*>(outputType.pbFormat);
                writeError = pcm.Open(outputName,
                                      WantsContainer(options.output, options.outputFormat, ".wav"),
                                      w->nChannels, int(w->nSamplesPerSec), w->wBitsPerSample);
            }
        }
        if (!writeError)
            writeError = video ? pictures.Write(s.data, s.length) : pcm.Write(s.data, s.length);
        return writeError ? E_FAIL : S_OK;
    };
    if (FAILED(StreamSink::Create(accepted, onSample, &sinkPtr))) Fail("cannot create the sink");
    Ref<StreamSink> sink{sinkPtr};

    // The source pushes the file as a demultiplexer would: one picture per sample for video,
    // with its presentation time; fixed-size pieces for audio.
    std::vector<VideoUnit> units;
    size_t maxSample = 0;
    if (video) {
        units = stream.mpeg4 ? SplitMpeg4Units(file.data(), file.size(), stream.shortHeader,
                                               stream.avgTimePerFrame)
                             : SplitVideoUnits(file.data(), file.size(), stream.avgTimePerFrame);
        for (const VideoUnit& u : units) maxSample = std::max(maxSample, u.size);
    } else {
        maxSample = stream.kind == StreamKind::Lpcm ? 19200 : 4096;
    }
    ALLOCATOR_PROPERTIES request{4, LONG(maxSample), 1, 0};
    qm::graph::PushSource* sourcePtr = nullptr;
    // The samples point into the mapped file, which outlives the graph: nothing is copied
    // before the decoder takes its input.
    if (FAILED(qm::graph::PushSource::Create({stream.inputType}, request, &sourcePtr,
                                             qm::graph::SampleBytes::Lent)))
        Fail("cannot create the source");
    Ref<qm::graph::PushSource> source{sourcePtr};
    HostGraph* graphPtr = nullptr;
    if (FAILED(HostGraph::Create(&graphPtr))) Fail("cannot create the graph");
    Ref<HostGraph> graph{graphPtr};
    graph.p->AddFilter(source.p, TEXT("source"));
    graph.p->AddFilter(decoder.p, TEXT("decoder"));
    graph.p->AddFilter(sink.p, TEXT("sink"));
    hr = graph.p->ConnectFilters(source.p, decoder.p);
    if (FAILED(hr)) {
        char text[96];
        std::snprintf(text, sizeof(text), "the decoder refuses the stream (0x%08X)", unsigned(hr));
        Fail(text);
    }
    hr = graph.p->ConnectFilters(decoder.p, sink.p);
    if (FAILED(hr)) Fail("the decoder offers no output format that the sink accepts");
    outputType = sink.p->ConnectionType();

    if (options.info) {
        std::printf("stream: %s\n", stream.description.c_str());
        std::printf("input type: %s\n", DescribeType(stream.inputType).c_str());
        std::printf("output type: %s\n", DescribeType(outputType).c_str());
        if (options.output.empty() && !options.bench && options.frame < 0) return 0;
    }

    Progress progress(file.size());
    const auto begin = std::chrono::steady_clock::now();
    if (FAILED(graph.p->Pause()) || FAILED(graph.p->Run())) Fail("the graph does not start");
    if (video) {
        for (const VideoUnit& u : units) {
            qm::graph::SampleSpec spec;
            spec.start = u.pts;
            spec.stop = u.pts + stream.avgTimePerFrame;
            hr = source.p->Deliver(file.data() + u.offset, u.size, spec);
            if (hr != S_OK) break;
            progress.Update(u.offset + u.size);
        }
    } else if (stream.kind == StreamKind::Ac3) {
        // The filter needs time stamps: one sync frame per sample, as a demultiplexer sends them.
        const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(stream.inputType.pbFormat);
        const size_t piece = wfx->nBlockAlign ? wfx->nBlockAlign : 4096;
        for (size_t offset = 0, i = 0; offset < file.size(); offset += piece, ++i) {
            qm::graph::SampleSpec spec;
            spec.start = REFERENCE_TIME(i) * 1536 * 10000000 / stream.sampleRate;
            spec.stop = REFERENCE_TIME(i + 1) * 1536 * 10000000 / stream.sampleRate;
            hr = source.p->Deliver(file.data() + offset, std::min(piece, file.size() - offset),
                                   spec);
            if (hr != S_OK) break;
            progress.Update(offset);
        }
    } else {
        const size_t piece = stream.kind == StreamKind::Lpcm ? 19200 : 4096;
        // At a format change the decoder starts again, so that it resynchronises.
        std::vector<size_t> changes;
        if (stream.kind == StreamKind::MpegAudio)
            changes = MpegAudioFormatChanges(file.data(), file.size());
        changes.push_back(file.size());
        size_t change = 0;
        for (size_t offset = 0; offset < file.size();) {
            if (offset == changes[change]) {
                // The decoder keeps its first stream's format through a new segment: connecting
                // it again starts it afresh on what follows.
                graph.p->Stop();
                hr = graph.p->Reconnect(source.p->OutputPin());
                if (SUCCEEDED(hr)) hr = graph.p->Run();
                if (FAILED(hr)) break;
                ++change;
            }
            const size_t n = std::min(piece, changes[change] - offset);
            hr = source.p->Deliver(file.data() + offset, n);
            if (hr != S_OK) break;
            offset += n;
            progress.Update(offset);
        }
    }
    if (hr == S_OK) source.p->DeliverEndOfStream();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    graph.p->Stop();
    progress.Done();
    if (auto e = pictures.Close()) writeError = e;
    if (auto e = pcm.Close()) writeError = e;
    if (writeError) Fail(*writeError);
    if (graph.p->CountEvents(EC_ERRORABORT) > 0 || (FAILED(hr) && hr != VFW_E_NOT_COMMITTED)) {
        char text[96];
        std::snprintf(text, sizeof(text), "undecodable data in '%s' (0x%08X)",
                      options.input.c_str(), unsigned(hr));
        Fail(text);
    }

    double duration = 0;
    std::string amount;
    if (video) {
        if (pictureCount == 0) Fail("no picture could be decoded from '" + options.input + "'");
        if (options.frame >= pictureCount)
            Fail("the stream has only " + std::to_string(pictureCount) + " pictures");
        duration = double(pictureCount) * double(stream.avgTimePerFrame) / 1e7;
        amount = std::to_string(pictureCount) + " frames";
    } else {
        if (pcmFrames == 0) Fail("no audio could be decoded from '" + options.input + "'");
        duration = pcmSeconds;
        amount = std::to_string(pcmFrames) + " samples";
    }
    std::string target = options.bench ? "(bench, not written)"
                         : options.frame >= 0
                             ? "picture " + std::to_string(options.frame) + " -> " + options.bmpPath
                         : options.output.empty() ? "(not written)"
                                                  : "-> " + options.output;
    // Pictures or samples written to standard output must not be followed by the summary.
    std::fprintf(options.output == "-" ? stderr : stdout,
                 "%s: %s, %.2f s decoded in %.3f s (%.1fx real time) %s\n",
                 stream.description.c_str(), amount.c_str(), duration, seconds,
                 seconds > 0 ? duration / seconds : 0.0, target.c_str());
    return 0;
}
