// umc-decode --codec mpeg2: MPEG-1/MPEG-2 video elementary streams to raw frames (.yuv) or
// YUV4MPEG2 (.y4m), every picture in display order, through the decoder's post-processing chain.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "SDKs/CodecFramework/core/VideoData.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "tools/common/InputFile.h"
#include "tools/umc-decode/Job.h"
#include "tools/umc-decode/VideoOutput.h"

namespace {

bool LooksLikeMpegVideo(const unsigned char* data, size_t size) {
    // A sequence header start code among the first bytes, only zeros before it.
    for (size_t i = 0; i + 3 < size && i < 4096; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) return data[i + 3] == 0xB3;
        if (data[i] != 0) return false;
    }
    return false;
}

int RunMpeg2(const umcdecode::Options& options) {
    if (!umcdecode::OnePassBench(options)) return 2;
    const auto begin = std::chrono::steady_clock::now();
    qmtool::InputFile file;
    if (!file.Open(options.input)) {
        std::fprintf(stderr, "umc-decode: cannot read '%s'\n", options.input.c_str());
        return 1;
    }

    UMC::ColorFormat format = umcdecode::VideoFormatByName(options.format, UMC::NONE);
    if (!options.format.empty() && format == UMC::NONE) {
        std::fprintf(stderr, "umc-decode: unknown format '%s'\n", options.format.c_str());
        return 2;
    }

    UMC::MPEG2VideoDecoder decoder;
    UMC::VideoDecoderParams params;
    UMC::MediaData initial;
    initial.SetBufferPointer(const_cast<uint8_t*>(file.Data()), file.Size());
    initial.SetDataSize(file.Size());
    params.m_pData = &initial;
    params.numThreads = options.threads;
    params.lFlags = UMC::FLAG_VDEC_REORDER;
    decoder.SetDirectOutput(true);
    if (decoder.Init(&params) != UMC::STATUS_OK) {
        std::fprintf(stderr, "umc-decode: '%s' has no MPEG-1/MPEG-2 video sequence header\n",
                     options.input.c_str());
        return 1;
    }
    UMC::VideoDecoderParams info;
    decoder.GetInfo(&info);
    if (format == UMC::NONE) format = info.info.color_format;
    const bool y4m = options.output.size() > 4 &&
                     options.output.compare(options.output.size() - 4, 4, ".y4m") == 0;
    if (y4m && format != UMC::YUV420 && format != UMC::YUV422) {
        std::fprintf(stderr, "umc-decode: .y4m output needs i420 or i422\n");
        return 2;
    }

    std::ofstream outFile;
    if (!options.bench) {
        outFile.open(options.output, std::ios::binary);
        if (!outFile) {
            std::fprintf(stderr, "umc-decode: cannot write '%s'\n", options.output.c_str());
            return 1;
        }
    }

    UMC::VideoData out;
    int outWidth = 0, outHeight = 0;
    int frames = 0, damaged = 0;
    bool wroteHeader = false;
    std::vector<uint8_t> bytes;

    auto prepareOutput = [&]() -> bool {
        decoder.GetInfo(&info);
        const int w = info.info.clip_width, h = info.info.clip_height;
        if (w == outWidth && h == outHeight) return true;
        if (out.Init(w, h, format) != UMC::STATUS_OK || out.Alloc() != UMC::STATUS_OK) return false;
        outWidth = w;
        outHeight = h;
        return true;
    };
    auto emit = [&]() {
        ++frames;
        damaged += out.GetDamaged() ? 1 : 0;
        if (options.bench) return;
        bytes.clear();
        if (y4m && !wroteHeader) {
            // Rates of the MPEG table are n/1 or n*1000/1001.
            const double rate = info.info.framerate;
            int num = int(std::lround(rate)), den = 1;
            if (std::fabs(rate - num) > 1e-6) {
                num = int(std::lround(rate * 1001.0));
                den = 1001;
            }
            int sarW = info.info.aspect_ratio_width, sarH = info.info.aspect_ratio_height;
            if (sarW <= 0 || sarH <= 0) sarW = sarH = 1;
            const int g = std::gcd(sarW, sarH);
            const int structure = out.GetPictureStructure();
            const char interlace = structure == UMC::PS_TOP_FIELD_FIRST      ? 't'
                                   : structure == UMC::PS_BOTTOM_FIELD_FIRST ? 'b'
                                                                             : 'p';
            // 4:2:0 chroma sits between the luma columns in MPEG-1, on the left one in MPEG-2.
            const char* chroma = format == UMC::YUV422                       ? "422"
                                 : info.info.stream_type == UMC::MPEG1_VIDEO ? "420jpeg"
                                                                             : "420mpeg2";
            char header[160];
            std::snprintf(header, sizeof header, "YUV4MPEG2 W%d H%d F%d:%d I%c A%d:%d C%s\n",
                          outWidth, outHeight, num, den, interlace, sarW / g, sarH / g, chroma);
            outFile << header;
            wroteHeader = true;
        }
        if (y4m) outFile << "FRAME\n";
        umcdecode::AppendPlanes(out, bytes);
        outFile.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    };

    // From the start again: the decoder takes a repeated sequence header in stride. The rest of
    // the file goes in each time and a call consumes the picture it decoded, so the stream is not
    // scanned for access units beforehand: that scan would be serial work beside the slice threads.
    UMC::Status last = UMC::STATUS_OK;
    UMC::MediaData in;
    in.SetBufferPointer(const_cast<uint8_t*>(file.Data()), file.Size());
    in.SetDataSize(file.Size());
    while (in.GetDataSize() > 0) {
        if (!prepareOutput()) {
            std::fprintf(stderr, "umc-decode: cannot lay out a %dx%d output picture\n",
                         info.info.clip_width, info.info.clip_height);
            return 1;
        }
        const size_t before = in.GetDataSize();
        last = decoder.GetFrame(&in, &out);
        if (last == UMC::STATUS_OK) emit();
        // Nothing taken (a header cut short): go on after the access unit it stands in.
        if (last != UMC::STATUS_OK && in.GetDataSize() == before)
            in.MoveDataPointer(std::max<size_t>(
                1, UMC::Mpeg2AccessUnitLength(in.GetDataPointer(), in.GetDataSize())));
    }
    while (prepareOutput() && (last = decoder.GetFrame(nullptr, &out)) == UMC::STATUS_OK) emit();

    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    if (frames == 0) {
        std::fprintf(stderr, "umc-decode: no picture could be decoded from '%s'\n",
                     options.input.c_str());
        return 1;
    }
    if (options.bench) {
        std::printf("frames %d seconds %.3f fps %.1f threads %d\n", frames, seconds,
                    double(frames) / seconds, options.threads);
    } else if (!outFile) {
        std::fprintf(stderr, "umc-decode: writing '%s' failed\n", options.output.c_str());
        return 1;
    }
    if (damaged) std::fprintf(stderr, "umc-decode: %d damaged pictures\n", damaged);
    return 0;
}

const umcdecode::JobRegistration kRegistration("mpeg2", RunMpeg2, LooksLikeMpegVideo);

}  // namespace
