// umc-decode --codec mpeg4: MPEG-4 Part 2 visual elementary streams (and short-header H.263
// baseline streams) to raw frames (.yuv) or YUV4MPEG2 (.y4m), every picture in display order,
// through the frame driver and its post-processing chain (--postfilter: the luma post-filter that
// the decoder filter switches on).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/MPEG4VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "tools/common/ChunkedFile.h"
#include "tools/umc-decode/Job.h"
#include "tools/umc-decode/VideoOutput.h"

namespace {

bool LooksLikeMpeg4Video(const unsigned char* data, size_t size) {
    return UMC::mpeg4::LooksLikeMpeg4Video(data, size);
}

int RunMpeg4(const umcdecode::Options& options) {
    if (!umcdecode::OnePassBench(options)) return 2;
    qmtool::FileBytes data;
    if (!qmtool::ReadWholeFile(options.input, data)) {
        std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
        return 1;
    }
    UMC::ColorFormat format = umcdecode::VideoFormatByName(options.format, UMC::YUV420);
    if (format == UMC::NONE) {
        std::fprintf(stderr, "umc-decode: unknown format '%s'\n", options.format.c_str());
        return 2;
    }
    const bool y4m = options.output.size() > 4 &&
                     options.output.compare(options.output.size() - 4, 4, ".y4m") == 0;
    if (y4m && format != UMC::YUV420) {
        std::fprintf(stderr, "umc-decode: .y4m output needs i420\n");
        return 2;
    }
    const auto begin = std::chrono::steady_clock::now();

    UMC::MPEG4VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    UMC::MediaData initial;
    initial.SetBufferPointer(data.data(), data.size());
    initial.SetDataSize(data.size());
    params.m_pData = &initial;
    params.numThreads = 1;
    params.lFlags = UMC::FLAG_VDEC_REORDER;
    if (decoder.Init(&params) != UMC::STATUS_OK) {
        std::fprintf(stderr, "umc-decode: '%s' has no usable MPEG-4 video object layer\n",
                     options.input.c_str());
        return 1;
    }
    for (const std::string& extra : options.extra) {
        if (extra == "--postfilter") {
            // The decoder filter's set-up: deblocking and deringing of the luma plane.
            decoder.SetDeblocking(1, 0, 0, 2, 6);
            decoder.SetDeringing(1, 0, 0);
        } else {
            std::fprintf(stderr, "umc-decode: mpeg4 does not know %s\n", extra.c_str());
            return 2;
        }
    }
    const bool shortHeader = decoder.State().vol.shortVideoHeader != 0;
    UMC::VideoDecoderParams info;
    decoder.GetInfo(&info);

    std::ofstream outFile;
    if (!options.bench) {
        outFile.open(options.output, std::ios::binary);
        if (!outFile) {
            std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
            return 1;
        }
    }
    const int width = info.info.clip_width, height = info.info.clip_height;
    UMC::VideoData out;
    if (out.Init(width, height, format) != UMC::STATUS_OK || out.Alloc() != UMC::STATUS_OK) {
        std::fprintf(stderr, "umc-decode: cannot lay out a %dx%d output picture\n", width, height);
        return 1;
    }
    int frames = 0, damaged = 0;
    bool wroteHeader = false, sizeChanged = false;
    std::vector<uint8_t> bytes;
    auto emit = [&]() {
        ++frames;
        damaged += out.GetDamaged() ? 1 : 0;
        if (options.bench) return;
        if (y4m && !wroteHeader) {
            int sarW = info.info.aspect_ratio_width, sarH = info.info.aspect_ratio_height;
            if (sarW <= 0 || sarH <= 0) sarW = sarH = 1;
            const int g = std::gcd(sarW, sarH);
            const int structure = out.GetPictureStructure();
            const char interlace = structure == UMC::PS_TOP_FIELD_FIRST      ? 't'
                                   : structure == UMC::PS_BOTTOM_FIELD_FIRST ? 'b'
                                                                             : 'p';
            char header[128];
            std::snprintf(header, sizeof header, "YUV4MPEG2 W%d H%d F25:1 I%c A%d:%d C420jpeg\n",
                          width, height, interlace, sarW / g, sarH / g);
            outFile << header;
            wroteHeader = true;
        }
        if (y4m) outFile << "FRAME\n";
        bytes.clear();
        umcdecode::AppendPlanes(out, bytes);
        outFile.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };
    auto accept = [&](UMC::Status st) {
        decoder.GetInfo(&info);
        if (info.info.clip_width != width || info.info.clip_height != height) sizeChanged = true;
        if (st == UMC::STATUS_OK || st == UMC::kMpeg4FrameDamaged) emit();
    };

    // One access unit per sample, as a demultiplexer would hand them over.
    size_t offset = 0;
    while (offset < data.size() && !sizeChanged) {
        const size_t unit = UMC::mpeg4::Mpeg4AccessUnitLength(data.data() + offset,
                                                              data.size() - offset, shortHeader);
        UMC::MediaData in;
        in.SetBufferPointer(data.data() + offset, unit);
        in.SetDataSize(unit);
        while (in.GetDataSize() > 0 && !sizeChanged) {
            const size_t before = in.GetDataSize();
            const UMC::Status st = decoder.GetFrame(&in, &out);
            accept(st);
            if (st != UMC::STATUS_OK && in.GetDataSize() == before) break;
        }
        offset += unit;
    }
    if (sizeChanged) std::fprintf(stderr, "umc-decode: the picture size changes; stopping\n");
    for (UMC::Status st; !sizeChanged && (st = decoder.GetFrame(nullptr, &out)) == UMC::STATUS_OK;)
        accept(st);

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (frames == 0) {
        std::fprintf(stderr, "umc-decode: no picture could be decoded from '%s'\n",
                     options.input.c_str());
        return 1;
    }
    if (options.bench) {
        std::printf("frames %d seconds %.3f fps %.1f threads 1\n", frames, seconds,
                    double(frames) / seconds);
    } else if (!outFile) {
        std::fprintf(stderr, "umc-decode: writing '%s' failed\n", options.output.c_str());
        return 1;
    }
    if (damaged) std::fprintf(stderr, "umc-decode: %d damaged pictures\n", damaged);
    return 0;
}

const umcdecode::JobRegistration kRegistration("mpeg4", RunMpeg4, LooksLikeMpeg4Video);

}  // namespace
