// Every committed elementary stream and container, damaged with a seeded generator (bit flips,
// byte insertions and deletions, truncation, chunks repeated and swapped) and pushed through the
// graph. Built with the sanitizers, this shows that no damage crashes or reads out of bounds;
// the test itself checks that every decode ends, that the output stays within what the declared
// format allows, and that the same graph, after a flush and a new segment (containers: a stop
// and a run that reads the file again), decodes the clean stream exactly as a fresh graph does.
// QM_DAMAGE_SEED and QM_DAMAGE_VARIANTS (per stream, default 24, containers 12) widen a run by
// hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "VideoIO/Demultiplexer/DemultiplexerFilter.h"
#include "tests/MPEGDecoderFilters/FilterTestSupport.h"
#include "tests/damage/Damage.h"
#include "tools/qmdecode/StreamProbe.h"
#include "tools/qmdecode/VideoUnits.h"

namespace {

using namespace qm::test;
using namespace qm_MPEGDecoderFilters;
using qmdecode::StreamKind;

uint64_t EnvNumber(const char* name, uint64_t fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

std::vector<std::filesystem::path> Fixtures(const char* folder,
                                            const std::vector<std::string>& extensions) {
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(FixtureDir() / folder))
        for (const std::string& ext : extensions)
            if (e.path().extension() == ext) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

struct Elementary {
    std::vector<uint8_t> clean;
    qmdecode::ProbedStream probe;
    HRESULT (*create)(IBaseFilter**) = nullptr;
    std::vector<CMediaType> accepted;
    LONG buffer = 0;
    // Largest decoded frame the declared format allows.
    size_t largestOutput = 0;
};

constexpr LONG kAudioPiece = 4096;

// The pictures of a video stream, by its kind's start codes.
std::vector<qmdecode::VideoUnit> Units(const Elementary& s, const std::vector<uint8_t>& d) {
    return s.probe.mpeg4 ? qmdecode::SplitMpeg4Units(d.data(), d.size(), s.probe.shortHeader,
                                                     s.probe.avgTimePerFrame)
                         : qmdecode::SplitVideoUnits(d.data(), d.size(), s.probe.avgTimePerFrame);
}

// Cuts a stream into samples as a demultiplexer would: video one picture per sample with its
// time (pieces of a buffer at most), audio in fixed pieces each with a time (the AC-3 filter
// refuses samples without one).
std::vector<std::pair<size_t, size_t>> Pieces(const Elementary& s, const std::vector<uint8_t>& d,
                                              std::vector<REFERENCE_TIME>* times) {
    std::vector<std::pair<size_t, size_t>> pieces;
    times->clear();
    if (s.probe.kind == StreamKind::MpegVideo) {
        for (const auto& u : Units(s, d))
            for (size_t at = 0; at < u.size; at += size_t(s.buffer)) {
                pieces.push_back({u.offset + at, std::min(u.size - at, size_t(s.buffer))});
                times->push_back(at == 0 ? u.pts : -1);
            }
    } else {
        for (size_t at = 0; at < d.size(); at += kAudioPiece) {
            pieces.push_back({at, std::min(d.size() - at, size_t(kAudioPiece))});
            times->push_back(REFERENCE_TIME(pieces.size()) * 1000000);
        }
    }
    return pieces;
}

void Deliver(FilterChain& chain, const Elementary& s, const std::vector<uint8_t>& d) {
    std::vector<REFERENCE_TIME> times;
    const auto pieces = Pieces(s, d, &times);
    for (size_t i = 0; i < pieces.size(); ++i) {
        qm::graph::SampleSpec spec;
        if (times[i] >= 0) {
            spec.start = times[i];
            spec.stop = times[i] + (s.probe.avgTimePerFrame ? s.probe.avgTimePerFrame : 1000000);
        }
        // Damage may make the filter refuse a sample; what follows must still be taken.
        chain.source->Deliver(d.data() + pieces[i].first, pieces[i].second, spec);
    }
}

bool Load(const std::filesystem::path& path, Elementary* s) {
    s->clean = ReadBytes(path);
    if (qmdecode::ProbeStream(s->clean, std::nullopt, 48000, &s->probe)) return false;
    switch (s->probe.kind) {
        case StreamKind::MpegVideo: {
            s->create =
                s->probe.mpeg4 ? CreateMPEG4VideoDecoderFilter : CreateMPEG2VideoDecoderFilter;
            s->accepted = {MajorSubtype(MEDIATYPE_Video, GUID_NULL)};
            size_t largest = 0;
            for (const auto& u : Units(*s, s->clean)) largest = std::max(largest, u.size);
            s->buffer = LONG(largest);
            // Four bytes a pixel is the widest output format.
            s->largestOutput = size_t(s->probe.width) * size_t(s->probe.height) * 4;
            break;
        }
        case StreamKind::MpegAudio:
        case StreamKind::Ac3:
        case StreamKind::Lpcm:
            s->create = s->probe.kind == StreamKind::Ac3 ? CreateAC3AudioDecoderFilter
                                                         : CreateMPEGAudioDecoderFilter;
            s->accepted = PcmOnly();
            s->buffer = kAudioPiece;
            // 1536 samples (AC-3) or 1152 (MPEG audio) a frame, at most six channels of 16 bits.
            // The filters may pack several frames in one output sample.
            s->largestOutput = 1536 * 6 * 2;
            break;
    }
    return true;
}

struct Output {
    std::vector<qm::graph::ReceivedSample> samples;
    int endOfStreams = 0;
};

// Empty when both runs delivered the same samples with the same times, else the first difference.
std::string Difference(const Output& a, const Output& b) {
    std::ostringstream text;
    if (a.samples.size() != b.samples.size())
        text << a.samples.size() << " samples against " << b.samples.size();
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()) && text.tellp() == 0; ++i) {
        const auto &x = a.samples[i], &y = b.samples[i];
        if (x.data != y.data)
            text << "sample " << i << ": other data (" << x.data.size() << " bytes against "
                 << y.data.size() << ")";
        else if (x.start != y.start || x.stop != y.stop)
            text << "sample " << i << ": times " << x.start << "-" << x.stop << " against "
                 << y.start << "-" << y.stop;
    }
    return text.str();
}

Output Take(FilterChain& chain) {
    Output r{chain.sink->Samples(), chain.sink->EndOfStreamCount()};
    chain.sink->ClearRecords();
    return r;
}

HRESULT Build(FilterChain& chain, const Elementary& s) {
    const HRESULT hr = chain.Build(s.create, s.probe.inputType, s.accepted, s.buffer);
    if (FAILED(hr)) return hr;
    chain.sink->SetAcceptFormatChanges(true);
    return chain.Start();
}

Output DecodeFresh(const Elementary& s) {
    FilterChain fresh;
    if (Build(fresh, s) != S_OK) return {};
    Deliver(fresh, s, s.clean);
    fresh.source->DeliverEndOfStream();
    return Take(fresh);
}

// A damaged run's output: one end of stream, and no more than the damage can account for. A unit
// takes a few bytes of the input at least, so damage cannot multiply them; no sample holds more
// than `largestSample`, nor all of them more than `largestUnit` a unit (0: than the input).
void ExpectBounded(const Output& hurt, const Output& reference, size_t damagedBytes,
                   size_t largestSample, size_t largestUnit) {
    EXPECT_EQ(hurt.endOfStreams, 1);
    const size_t units = 2 * reference.samples.size() + damagedBytes / 16 + 8;
    EXPECT_LE(hurt.samples.size(), units);
    size_t total = 0;
    for (const auto& out : hurt.samples) {
        total += out.data.size();
        ASSERT_LE(out.data.size(), largestSample);
    }
    EXPECT_LE(total, largestUnit ? units * largestUnit : damagedBytes);
}

// Decodes `damaged` in `chain`, checks that it ends with bounded output, then seeks (flush and
// new segment) and checks that the clean stream decodes as in a fresh graph.
void ExpectRecovery(FilterChain& chain, const Elementary& s, const std::vector<uint8_t>& damaged,
                    const Output& reference) {
    Deliver(chain, s, damaged);
    EXPECT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    // A picture never outgrows the declared size.
    const bool video = s.probe.kind == StreamKind::MpegVideo;
    ExpectBounded(Take(chain), reference, damaged.size(), video ? s.largestOutput : SIZE_MAX,
                  s.largestOutput);

    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(chain.source->DeliverBeginFlush(), S_OK);
        ASSERT_EQ(chain.source->DeliverEndFlush(), S_OK);
        ASSERT_EQ(chain.source->DeliverNewSegment(0, 0x7FFFFFFFFFFFFFFF, 1.0), S_OK);
        chain.sink->ClearRecords();
        if (pass == 1) break;  // the chain is left ready for the next stream
        Deliver(chain, s, s.clean);
        EXPECT_EQ(chain.source->DeliverEndOfStream(), S_OK);
        EXPECT_EQ(Difference(Take(chain), reference), "")
            << "after the damage, against a fresh graph";
    }
}

class ElementaryDamage : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(ElementaryDamage, EndsBoundedAndRecoversAfterANewSegment) {
    Elementary s;
    ASSERT_TRUE(Load(GetParam(), &s)) << GetParam();
    const Output reference = DecodeFresh(s);
    ASSERT_GT(reference.samples.size(), 0u);
    ASSERT_EQ(reference.endOfStreams, 1);

    const uint64_t seed = EnvNumber("QM_DAMAGE_SEED", 0x0DA3A6E);
    const uint64_t variants = EnvNumber("QM_DAMAGE_VARIANTS", 24);
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    for (uint64_t v = 0; v < variants; ++v) {
        const DamageKind kind = DamageKind(v % kDamageKinds);
        const uint64_t variantSeed = seed * 1000003u + v;
        SCOPED_TRACE(testing::Message() << DamageName(kind) << " seed " << variantSeed);
        ExpectRecovery(chain, s, Damage(s.clean, kind, variantSeed), reference);
    }
}

// A damaged AC-3 frame that announces another sampling rate makes the filter follow it; the
// clean stream after the seek changes the output type back, and that change must not cost the
// decoder the overlap of the frame it has just decoded.
TEST(Ac3Damage, RateChangeBeforeASeekLeavesTheCleanStreamWhole) {
    Elementary s;
    ASSERT_TRUE(Load(FixtureDir() / "ac3" / "stereo_cpl.ac3", &s));
    const Output reference = DecodeFresh(s);
    ASSERT_GT(reference.samples.size(), 4u);
    std::vector<uint8_t> damaged = s.clean;
    const size_t frameBytes = damaged.size() / reference.samples.size();
    // The last frame claims 32 kHz at 64 kbit/s, the same 384 bytes as the 48 kHz, 96 kbit/s
    // frames, so the damaged run ends at that rate.
    ASSERT_EQ(frameBytes, 384u);
    damaged[(reference.samples.size() - 1) * frameBytes + 4] = 0x88;
    FilterChain chain;
    ASSERT_EQ(Build(chain, s), S_OK);
    ExpectRecovery(chain, s, damaged, reference);
}

std::vector<std::filesystem::path> ElementaryStreams() {
    std::vector<std::filesystem::path> all;
    const std::pair<const char*, std::vector<std::string>> kinds[] = {{"mpeg2", {".m2v"}},
                                                                      {"mpeg4", {".m4v", ".h263"}},
                                                                      {"mpa", {".mp2", ".mp3"}},
                                                                      {"ac3", {".ac3"}}};
    for (const auto& [folder, extensions] : kinds)
        for (auto& f : Fixtures(folder, extensions)) all.push_back(f);
    return all;
}

std::string TestName(const testing::TestParamInfo<std::filesystem::path>& info) {
    std::string name = info.param.stem().string() + "_" + info.param.extension().string().substr(1);
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ElementaryDamage, ::testing::ValuesIn(ElementaryStreams()),
                         TestName);

// Containers: the demultiplexer, a decoder filter for every stream there is one for, and a sink
// per stream (the units themselves for the others).
HRESULT CreateDecoder(const qm_MPEGSystemFilters::StreamInfo& info, IBaseFilter** decoder) {
    using qm_MPEGSystemFilters::StreamCoding;
    switch (info.coding) {
        case StreamCoding::MpegVideo:
            return CreateMPEG2VideoDecoderFilter(decoder);
        case StreamCoding::Mpeg4Video:
            return CreateMPEG4VideoDecoderFilter(decoder);
        case StreamCoding::MpegAudio:
            return CreateMPEGAudioDecoderFilter(decoder);
        case StreamCoding::Ac3:
            return CreateAC3AudioDecoderFilter(decoder);
        case StreamCoding::Lpcm:
            return CreateDVDAudioDecoderFilter(decoder);
        default:
            return E_NOTIMPL;
    }
}

// One graph over one file path; every run reads the file again from its start, whatever it holds
// by then, and starts every stream with a new segment.
class ContainerGraph {
public:
    // False when the file is no container or holds no typed stream.
    bool Open(const std::filesystem::path& path) {
        if (qm::graph::FilterGraph::Create(m_graph.Out()) != S_OK ||
            qm_Demultiplexer::DemultiplexerFilter::Create(m_demux.Out()) != S_OK)
            return false;
        if (FAILED(m_demux->Load(path.string()))) return false;
        std::vector<size_t> streams;
        for (size_t i = 0; i < m_demux->Streams().size(); ++i)
            if (m_demux->Streams()[i].typed) streams.push_back(i);
        if (streams.empty() || m_demux->SelectStreams(streams) != S_OK) return false;
        m_graph->AddFilter(m_demux.Get(), nullptr);
        for (const size_t i : streams) {
            const auto& stream = m_demux->Streams()[i];
            ComPtr<IBaseFilter> decoder;
            const bool decoded = SUCCEEDED(CreateDecoder(stream.info, decoder.Out()));
            const bool video = IsEqualGUID(stream.type.majortype, MEDIATYPE_Video);
            ComPtr<qm::graph::Sink> sink;
            const std::vector<CMediaType> accepted =
                !decoded ? std::vector<CMediaType>{}
                : video  ? std::vector<CMediaType>{MajorSubtype(MEDIATYPE_Video, GUID_NULL)}
                         : PcmOnly();
            if (qm::graph::Sink::Create(accepted, sink.Out()) != S_OK) return false;
            sink->SetAcceptFormatChanges(true);
            m_graph->AddFilter(sink.Get(), nullptr);
            IBaseFilter* upstream = m_demux.Get();
            if (decoded) {
                m_graph->AddFilter(decoder.Get(), nullptr);
                // A stream its decoder refuses (a format the probe got wrong) goes on undecoded.
                if (m_graph->ConnectFilters(m_demux.Get(), decoder.Get()) != S_OK) return false;
                upstream = decoder.Get();
                m_decoders.push_back(std::move(decoder));
            }
            if (m_graph->ConnectFilters(upstream, sink.Get()) != S_OK) return false;
            m_sinks.push_back(std::move(sink));
            m_decoded.push_back(decoded);
        }
        return true;
    }

    // Runs to the end of the file; false when the demultiplexer did not finish.
    bool Run(std::vector<Output>* outputs) {
        if (m_graph->Pause() != S_OK || m_graph->Run() != S_OK) return false;
        for (int i = 0; i < 6000 && !m_demux->Finished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const bool finished = m_demux->Finished();
        m_graph->Stop();
        outputs->clear();
        for (auto& sink : m_sinks) {
            outputs->push_back({sink->Samples(), sink->EndOfStreamCount()});
            sink->ClearRecords();
        }
        return finished;
    }

    // Per stream, in the order of the outputs: whether a decoder filter is in its path.
    const std::vector<bool>& Decoded() const { return m_decoded; }

    ~ContainerGraph() {
        if (m_graph.Get()) m_graph->Stop();
    }

private:
    ComPtr<qm::graph::FilterGraph> m_graph;
    ComPtr<qm_Demultiplexer::DemultiplexerFilter> m_demux;
    std::vector<ComPtr<IBaseFilter>> m_decoders;
    std::vector<ComPtr<qm::graph::Sink>> m_sinks;
    std::vector<bool> m_decoded;
};

class ContainerDamage : public ::testing::TestWithParam<std::filesystem::path> {};

// The graph is opened on the clean file; each damaged copy then takes the file's place for one
// run, and the clean bytes for the next, which must give exactly what they give after a clean
// run.
TEST_P(ContainerDamage, EveryStreamEndsBoundedAndLeavesNoTraceOnTheCleanFile) {
    const std::vector<uint8_t> clean = ReadBytes(GetParam());
    ASSERT_FALSE(clean.empty());
    const uint64_t seed = EnvNumber("QM_DAMAGE_SEED", 0x0DA3A6E);
    // Each variant is two whole decodes of every stream: fewer than for elementary streams.
    const uint64_t variants = EnvNumber("QM_DAMAGE_VARIANTS", 12);
    // Removed after every graph on it has closed it (Windows refuses to delete an open file).
    const ScratchDir dir("damage");
    const auto path = dir / ("copy" + GetParam().extension().string());
    ASSERT_TRUE(WriteBytes(path, clean));
    // The reference is a fresh graph's second run on the clean file: a run may leave state by
    // design (the MPEG-4 decoder puts frames in display order only until its first drain), and
    // the damage must leave nothing beyond that.
    std::vector<Output> first, reference;
    {
        ContainerGraph fresh;
        ASSERT_TRUE(fresh.Open(path));
        ASSERT_TRUE(fresh.Run(&first));
        ASSERT_TRUE(fresh.Run(&reference));
    }
    size_t referenceSamples = 0;
    for (const Output& o : reference) {
        EXPECT_EQ(o.endOfStreams, 1);
        referenceSamples += o.samples.size();
    }
    ASSERT_GT(referenceSamples, 0u);

    ContainerGraph graph;
    ASSERT_TRUE(graph.Open(path));
    std::vector<Output> outputs;
    for (uint64_t v = 0; v < variants; ++v) {
        const DamageKind kind = DamageKind(v % kDamageKinds);
        const uint64_t variantSeed = seed * 1000003u + v;
        SCOPED_TRACE(testing::Message() << DamageName(kind) << " seed " << variantSeed);
        const std::vector<uint8_t> damaged = Damage(clean, kind, variantSeed);
        ASSERT_TRUE(WriteBytes(path, damaged));
        ASSERT_TRUE(graph.Run(&outputs));
        ASSERT_EQ(outputs.size(), reference.size());
        for (size_t i = 0; i < outputs.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "stream " << i);
            // A decoded picture never outgrows the buffers the clean stream was given, a PCM
            // block holds a frame of at most six channels; units carry the file's payload bytes,
            // never more.
            size_t largest = 1536 * 6 * 2;
            for (const auto& sample : reference[i].samples)
                largest = std::max(largest, sample.data.size());
            if (graph.Decoded()[i])
                ExpectBounded(outputs[i], reference[i], damaged.size(), largest, largest);
            else
                ExpectBounded(outputs[i], reference[i], damaged.size(), SIZE_MAX, 0);
        }
        ASSERT_TRUE(WriteBytes(path, clean));
        ASSERT_TRUE(graph.Run(&outputs));
        ASSERT_EQ(outputs.size(), reference.size());
        for (size_t i = 0; i < outputs.size(); ++i)
            EXPECT_EQ(Difference(outputs[i], reference[i]), "")
                << "stream " << i << ", after the damage, against a clean history";
    }
}

std::vector<std::filesystem::path> Containers() {
    return Fixtures("containers", {".mpg", ".vob", ".ts", ".avi"});
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ContainerDamage, ::testing::ValuesIn(Containers()), TestName);

}  // namespace
