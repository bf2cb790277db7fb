// Every committed elementary stream and container, damaged with a seeded generator (bit flips,
// byte insertions and deletions, truncation, chunks repeated and swapped) and pushed through the
// graph. Built with the sanitizers, this shows that no damage crashes or reads out of bounds;
// the test itself checks that every decode ends, that the output stays within what the declared
// format allows, and that the same graph, after a flush and a new segment, decodes the clean
// stream exactly as a fresh graph does.
// QM_DAMAGE_SEED and QM_DAMAGE_VARIANTS (per stream, default 24) widen a run by hand.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
    s->clean = ReadFile(path);
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

// Decodes `damaged` in `chain`, checks that it ends with bounded output, then seeks (flush and
// new segment) and checks that the clean stream decodes as in a fresh graph.
void ExpectRecovery(FilterChain& chain, const Elementary& s, const std::vector<uint8_t>& damaged,
                    const Output& reference) {
    Deliver(chain, s, damaged);
    EXPECT_EQ(chain.source->DeliverEndOfStream(), S_OK);
    const Output hurt = Take(chain);
    EXPECT_EQ(hurt.endOfStreams, 1);
    // A frame needs a few coded bytes at the least, so damage cannot multiply the output; a
    // picture never outgrows the declared size.
    const size_t frames = 2 * reference.samples.size() + damaged.size() / 16 + 8;
    EXPECT_LE(hurt.samples.size(), frames);
    size_t total = 0;
    for (const auto& out : hurt.samples) {
        total += out.data.size();
        if (s.probe.kind == StreamKind::MpegVideo) {
            EXPECT_LE(out.data.size(), s.largestOutput);
        }
    }
    EXPECT_LE(total, frames * s.largestOutput);

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

// Containers: a damaged file through the demultiplexer into a sink per stream.
template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
};

class ContainerDamage : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(ContainerDamage, EveryStreamEndsWithBoundedOutput) {
    const std::vector<uint8_t> clean = ReadFile(GetParam());
    ASSERT_FALSE(clean.empty());
    const uint64_t seed = EnvNumber("QM_DAMAGE_SEED", 0x0DA3A6E);
    const uint64_t variants = EnvNumber("QM_DAMAGE_VARIANTS", 24);
    const auto path = std::filesystem::temp_directory_path() /
                      ("qm_damage_" + std::to_string(::getpid()) + GetParam().extension().string());
    for (uint64_t v = 0; v < variants; ++v) {
        const DamageKind kind = DamageKind(v % kDamageKinds);
        const uint64_t variantSeed = seed * 1000003u + v;
        SCOPED_TRACE(testing::Message() << DamageName(kind) << " seed " << variantSeed);
        const std::vector<uint8_t> damaged = Damage(clean, kind, variantSeed);
        {
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(damaged.data()),
                      std::streamsize(damaged.size()));
        }
        Ref<qm::graph::FilterGraph> graph;
        Ref<qm_Demultiplexer::DemultiplexerFilter> demux;
        ASSERT_EQ(qm::graph::FilterGraph::Create(&graph.p), S_OK);
        ASSERT_EQ(qm_Demultiplexer::DemultiplexerFilter::Create(&demux.p), S_OK);
        // Damage may leave nothing recognisable: a clear refusal is an answer too.
        if (FAILED(demux.p->Load(path.string()))) continue;
        std::vector<size_t> streams;
        for (size_t i = 0; i < demux.p->Streams().size(); ++i)
            if (demux.p->Streams()[i].typed) streams.push_back(i);
        if (streams.empty()) continue;
        ASSERT_EQ(demux.p->SelectStreams(streams), S_OK);
        graph.p->AddFilter(demux.p, nullptr);
        std::vector<Ref<qm::graph::Sink>> sinks(streams.size());
        for (auto& sink : sinks) {
            ASSERT_EQ(qm::graph::Sink::Create({}, &sink.p), S_OK);
            graph.p->AddFilter(sink.p, nullptr);
            ASSERT_EQ(graph.p->ConnectFilters(demux.p, sink.p), S_OK);
        }
        ASSERT_EQ(graph.p->Run(), S_OK);
        for (int i = 0; i < 3000 && !demux.p->Finished(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_TRUE(demux.p->Finished());
        graph.p->Stop();
        size_t total = 0;
        for (auto& sink : sinks) {
            EXPECT_EQ(sink.p->EndOfStreamCount(), 1);
            for (const auto& sample : sink.p->Samples()) total += sample.data.size();
        }
        // Units carry the file's payload bytes, never more.
        EXPECT_LE(total, damaged.size());
    }
    std::filesystem::remove(path);
}

std::vector<std::filesystem::path> Containers() {
    return Fixtures("containers", {".mpg", ".vob", ".ts", ".avi"});
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ContainerDamage, ::testing::ValuesIn(Containers()), TestName);

}  // namespace
