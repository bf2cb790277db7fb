// What the container fuzz targets share: the first byte picks the piece size and whether the
// parser is reset midway; the rest is fed to the parser, every unit's bytes are read, and MPEG
// video units go through the picture framer as well.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "VideoIO/MPEGSystemFilters/MpegVideoFramer.h"
#include "VideoIO/MPEGSystemFilters/SystemStream.h"

namespace qm_fuzz {

class TouchingSink : public qm_MPEGSystemFilters::IAccessUnitSink {
public:
    TouchingSink()
        : m_framer([this](const qm_MPEGSystemFilters::MpegVideoFramer::Unit& u) {
              Touch(u.data, u.size);
          }) {}
    void OnStream(const qm_MPEGSystemFilters::StreamInfo& s) override {
        if (s.coding == qm_MPEGSystemFilters::StreamCoding::MpegVideo && m_video == 0)
            m_video = s.key + 1;
    }
    void OnAccessUnit(const qm_MPEGSystemFilters::AccessUnit& u) override {
        Touch(u.data, u.size);
        if (u.key + 1 != m_video) return;
        if (u.damaged)
            m_framer.Reset();
        else
            m_framer.Push(u.data, u.size, u.pts, u.dts);
    }
    void Finish() { m_framer.Flush(); }
    volatile uint8_t sum = 0;

private:
    void Touch(const uint8_t* p, size_t n) {
        uint8_t s = 0;
        for (size_t i = 0; i < n; ++i) s = uint8_t(s + p[i]);
        sum = s;
    }
    qm_MPEGSystemFilters::MpegVideoFramer m_framer;
    uint32_t m_video = 0;
};

template <class Parser>
int FuzzParser(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t options = data[0];
    ++data;
    --size;
    static const size_t kPieces[4] = {1, 7, 188, 65536};
    const size_t piece = kPieces[options & 3];
    TouchingSink sink;
    Parser parser(&sink);
    for (size_t at = 0; at < size;) {
        // Exactly sized copies, so that a read past a piece is caught.
        const size_t n = std::min(piece, size - at);
        std::vector<uint8_t> copy(data + at, data + at + n);
        parser.Feed(copy.data(), copy.size());
        at += n;
        if ((options & 4) && at >= size / 2 && at - n < size / 2) parser.Reset();
    }
    parser.Finish();
    sink.Finish();
    return 0;
}

}  // namespace qm_fuzz
