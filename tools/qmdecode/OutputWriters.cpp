#include "tools/qmdecode/OutputWriters.h"

#include "tools/qmdecode/OutputTarget.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "SDKs/CodecFramework/CodecCommon/SubtypeColorFormat.h"
#include "SDKs/CodecFramework/core/VideoData.h"
#include "VideoIO/FilterUtil/MediaTypeUtil.h"

namespace qmdecode {
namespace {

bool IsY4mFormat(UMC::ColorFormat f) {
    switch (f) {
        case UMC::YUV420:
        case UMC::YV12:
        case UMC::NV12:
        case UMC::YUY2:
        case UMC::UYVY:
            return true;
        default:
            return false;
    }
}

bool Put(std::FILE* f, const void* p, size_t n) {
    return n == 0 || std::fwrite(p, 1, n, f) == n;
}

void PutLe(std::vector<uint8_t>& v, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) v.push_back(uint8_t(value >> (8 * i)));
}

}  // namespace

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

PictureWriter::~PictureWriter() {
    CloseOutputFile(m_file);
}

std::optional<std::string> PictureWriter::ChangeType(const CMediaType& type) {
    LONG w = 0, h = 0;
    if (FAILED(qm::GetPictureSize(type, &w, &h))) return "output type without a picture size";
    const UMC::ColorFormat f = qm::ColorFormatFromSubtype(type.subtype);
    if (f == UMC::NONE) return "output type without a colour format";
    if (m_file && m_y4m && (w != m_width || std::abs(h) != m_height || f != m_format))
        return "the picture size changed inside the stream; YUV4MPEG2 cannot follow";
    m_width = w;
    m_height = std::abs(h);
    m_format = f;
    return std::nullopt;
}

std::optional<std::string> PictureWriter::Open(const std::string& path, bool y4m,
                                               const CMediaType& type,
                                               REFERENCE_TIME avgTimePerFrame) {
    if (auto error = ChangeType(type)) return error;
    if (y4m && !IsY4mFormat(m_format))
        return std::string("YUV4MPEG2 needs a YUV output format, not ") +
               UMC::GetColorFormatName(m_format);
    m_y4m = y4m;
    m_file = OpenOutputFile(path);
    if (!m_file) return "cannot write '" + path + "'";
    if (y4m) {
        // Frame rate as a fraction of 100-ns units: 10 000 000 / avgTimePerFrame.
        long long num = 10000000, den = avgTimePerFrame > 0 ? avgTimePerFrame : 400000;
        if (den == 417083) num = 24000, den = 1001;
        if (den == 333667) num = 30000, den = 1001;
        if (den == 166833) num = 60000, den = 1001;
        const bool is422 = m_format == UMC::YUY2 || m_format == UMC::UYVY;
        std::fprintf(m_file, "YUV4MPEG2 W%d H%d F%lld:%lld Ip A1:1 %s\n", m_width, m_height, num,
                     den, is422 ? "C422" : "C420jpeg");
    }
    return std::nullopt;
}

std::optional<std::string> PictureWriter::Write(const BYTE* data, LONG length) {
    UMC::VideoData picture;
    if (picture.Init(m_width, m_height, m_format) != UMC::STATUS_OK ||
        picture.SetSurface(const_cast<BYTE*>(data), 0) != UMC::STATUS_OK)
        return "cannot lay out the picture";
    if (picture.GetMappingSize() > size_t(length)) return "output sample shorter than a picture";
    if (m_y4m && !Put(m_file, "FRAME\n", 6)) return "write failed";

    std::vector<uint8_t> row;
    auto planeRows = [&](int plane, size_t rowBytes, int rows) -> bool {
        const uint8_t* p = picture.GetPlanePointer(plane);
        const size_t pitch = picture.GetPlanePitch(plane);
        for (int y = 0; y < rows; ++y)
            if (!Put(m_file, p + size_t(y) * pitch, rowBytes)) return false;
        return true;
    };
    const int cw = (m_width + 1) / 2, ch = (m_height + 1) / 2;
    bool ok = true;
    if (!m_y4m) {
        for (int i = 0; i < picture.GetNumPlanes() && ok; ++i) {
            const auto* info = picture.GetPlaneInfo(i);
            ok = planeRows(
                i, size_t(info->m_width) * size_t(info->m_iSamples) * size_t(info->m_iSampleSize),
                info->m_height);
        }
    } else if (m_format == UMC::YUV420 || m_format == UMC::YV12) {
        const int u = m_format == UMC::YV12 ? 2 : 1, v = 3 - u;
        ok = planeRows(0, size_t(m_width), m_height) && planeRows(u, size_t(cw), ch) &&
             planeRows(v, size_t(cw), ch);
    } else if (m_format == UMC::NV12) {
        ok = planeRows(0, size_t(m_width), m_height);
        const uint8_t* uv = picture.GetPlanePointer(1);
        const size_t pitch = picture.GetPlanePitch(1);
        for (int c = 0; c < 2 && ok; ++c)
            for (int y = 0; y < ch && ok; ++y) {
                row.resize(size_t(cw));
                for (int x = 0; x < cw; ++x) row[size_t(x)] = uv[size_t(y) * pitch + 2 * x + c];
                ok = Put(m_file, row.data(), row.size());
            }
    } else {  // packed 4:2:2 to planar
        const uint8_t* p = picture.GetPlanePointer(0);
        const size_t pitch = picture.GetPlanePitch(0);
        const int yOff = m_format == UMC::YUY2 ? 0 : 1, uOff = m_format == UMC::YUY2 ? 1 : 0;
        for (int plane = 0; plane < 3 && ok; ++plane) {
            const int w = plane == 0 ? m_width : cw;
            row.resize(size_t(w));
            for (int y = 0; y < m_height && ok; ++y) {
                const uint8_t* r = p + size_t(y) * pitch;
                for (int x = 0; x < w; ++x)
                    row[size_t(x)] =
                        plane == 0 ? r[2 * x + yOff] : r[4 * x + uOff + 2 * (plane - 1)];
                ok = Put(m_file, row.data(), row.size());
            }
        }
    }
    return ok ? std::nullopt : std::optional<std::string>("write failed");
}

std::optional<std::string> PictureWriter::Close() {
    if (!m_file) return std::nullopt;
    const bool ok = CloseOutputFile(m_file);
    m_file = nullptr;
    return ok ? std::nullopt : std::optional<std::string>("write failed");
}

std::optional<std::string> WriteBmp24(const std::string& path, const CMediaType& type,
                                      const BYTE* data, LONG length) {
    LONG w = 0, h = 0;
    if (FAILED(qm::GetPictureSize(type, &w, &h))) return "output type without a picture size";
    const int height = std::abs(h);
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    if (size_t(length) < stride * size_t(height)) return "RGB24 sample shorter than a picture";
    std::vector<uint8_t> header;
    header.push_back('B');
    header.push_back('M');
    PutLe(header, uint32_t(54 + stride * size_t(height)), 4);
    PutLe(header, 0, 4);
    PutLe(header, 54, 4);
    PutLe(header, 40, 4);
    PutLe(header, uint32_t(w), 4);
    PutLe(header, uint32_t(height), 4);  // bottom-up rows
    PutLe(header, 1, 2);
    PutLe(header, 24, 2);
    PutLe(header, 0, 4);
    PutLe(header, uint32_t(stride * size_t(height)), 4);
    PutLe(header, 2835, 4);
    PutLe(header, 2835, 4);
    PutLe(header, 0, 4);
    PutLe(header, 0, 4);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return "cannot write '" + path + "'";
    bool ok = Put(f, header.data(), header.size());
    // A negative type height means the sample's first row is the top row.
    for (int y = 0; y < height && ok; ++y) {
        const int src = h < 0 ? height - 1 - y : y;
        ok = Put(f, data + size_t(src) * stride, stride);
    }
    ok = std::fclose(f) == 0 && ok;
    return ok ? std::nullopt : std::optional<std::string>("write failed");
}

PcmWriter::~PcmWriter() {
    CloseOutputFile(m_file);
}

std::optional<std::string> PcmWriter::Open(const std::string& path, bool wav, int channels,
                                           int rate, int bits) {
    m_file = OpenOutputFile(path);
    if (!m_file) return "cannot write '" + path + "'";
    m_wav = wav;
    m_bytes = 0;  // a numbered output after a format change counts its own
    if (wav) {
        std::vector<uint8_t> h;
        for (char c : std::string("RIFF")) h.push_back(uint8_t(c));
        PutLe(h, IsStandardStream(m_file) ? 0xFFFFFFFFu : 0, 4);  // filled in by Close
        for (char c : std::string("WAVEfmt ")) h.push_back(uint8_t(c));
        PutLe(h, 16, 4);
        PutLe(h, 1, 2);
        PutLe(h, uint32_t(channels), 2);
        PutLe(h, uint32_t(rate), 4);
        PutLe(h, uint32_t(rate * channels * bits / 8), 4);
        PutLe(h, uint32_t(channels * bits / 8), 2);
        PutLe(h, uint32_t(bits), 2);
        for (char c : std::string("data")) h.push_back(uint8_t(c));
        PutLe(h, IsStandardStream(m_file) ? 0xFFFFFFFFu : 0, 4);
        if (!Put(m_file, h.data(), h.size())) return "write failed";
    }
    return std::nullopt;
}

std::optional<std::string> PcmWriter::Write(const BYTE* data, LONG length) {
    if (length <= 0) return std::nullopt;
    if (!Put(m_file, data, size_t(length))) return "write failed";
    m_bytes += uint64_t(length);
    return std::nullopt;
}

std::optional<std::string> PcmWriter::Close() {
    if (!m_file) return std::nullopt;
    bool ok = true;
    if (m_wav && !IsStandardStream(m_file)) {
        const uint32_t data = m_bytes > 0xFFFFFFF0u ? 0xFFFFFFF0u : uint32_t(m_bytes);
        std::vector<uint8_t> v;
        PutLe(v, data + 36, 4);
        ok = std::fseek(m_file, 4, SEEK_SET) == 0 && Put(m_file, v.data(), 4);
        v.clear();
        PutLe(v, data, 4);
        ok = ok && std::fseek(m_file, 40, SEEK_SET) == 0 && Put(m_file, v.data(), 4);
    }
    ok = CloseOutputFile(m_file) && ok;
    m_file = nullptr;
    return ok ? std::nullopt : std::optional<std::string>("write failed");
}

}  // namespace qmdecode
