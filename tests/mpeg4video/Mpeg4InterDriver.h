// A small decoding-order driver for the inter tests: two references rotated over three frames,
// B-VOPs between them, pictures given out in display order. The frame driver proper does more
// (timing, skipping, post-filter); this is just enough to check the VOP decoders on real streams.
#pragma once

#include <vector>

#include "SDKs/CodecFramework/mpeg4video/Mpeg4Headers.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Stream.h"
#include "SDKs/CodecFramework/mpeg4video/Mpeg4Vop.h"
#include "tests/mpeg4video/Mpeg4TestSupport.h"

namespace qm::test::mpeg4 {

class InterDriver {
public:
    Decoded Run(const std::vector<uint8_t>& stream) {
        using namespace UMC;
        using namespace UMC::mpeg4;
        Decoded out;
        m_state = MPEG4DecoderState{};
        MPEG4DecoderState& s = m_state;
        s.vo.verid = 1;
        m_input.Assign(stream.data(), stream.size());
        s.bits.Init(m_input.Data(), m_input.Size());
        out.open = FindHeaders(s);
        if (out.open != STATUS_OK) return out;
        out.open = m_pictures.Allocate(s, true);
        if (out.open != STATUS_OK) return out;
        out.width = s.vol.width;
        out.height = s.vol.height;
        m_bInfo.assign(size_t(s.dec.mbCount), Mpeg4MacroblockInfo{});
        s.dec.bInfo = m_bInfo.data();
        MPEG4FrameBuffer* frames[3] = {s.dec.current, s.dec.forward, s.dec.backward};
        MPEG4FrameBuffer* older = nullptr;
        MPEG4FrameBuffer* newer = nullptr;
        int32_t newerResult = 0;
        auto emit = [&](const MPEG4FrameBuffer* f, int32_t result) {
            out.pictures.push_back(Packed(*f, out.width, out.height));
            out.results.push_back(result);
        };
        for (int guard = 0; guard < 1000; ++guard) {
            bool volChanged = false;
            if (FindNextVop(s, &volChanged) != STATUS_OK) break;
            if (ParseVopHeader(s) != PARSE_OK) continue;
            const int64_t time = VopTime(s);
            // Packed streams put a not-coded placeholder after a picture already given out.
            if (!s.vop.coded && ((older && older->time == time) || (newer && newer->time == time)))
                continue;
            MPEG4FrameBuffer* cur = nullptr;
            for (MPEG4FrameBuffer* f : frames)
                if (f != older && f != newer) cur = f;
            s.dec.current = cur;
            if (s.vop.codingType == MPEG4_VOP_B) {
                if (!older || !newer) continue;
                s.dec.forward = older;
                s.dec.backward = newer;
                s.dec.trb = int32_t(time - older->time);
                s.dec.trd = int32_t(newer->time - older->time);
                const int32_t result = s.vop.coded ? DecodeBVop(s) : (CopyFrom(s, older), 0);
                cur->time = time;
                emit(cur, result);
                continue;
            }
            if (s.vop.codingType != MPEG4_VOP_I && !newer) continue;
            s.dec.forward = newer;
            s.dec.backward = nullptr;
            int32_t result = 0;
            if (!s.vop.coded)
                CopyFrom(s, newer);
            else if (s.vop.codingType == MPEG4_VOP_I)
                result = DecodeIVop(s);
            else if (s.vop.codingType == MPEG4_VOP_P)
                result = DecodePVop(s);
            else
                result = DecodeSVop(s);
            if (result < 0 && result != kMpeg4VopConcealed) continue;
            PadReference(s, *cur);
            cur->time = time;
            if (newer) emit(newer, newerResult);
            older = newer;
            newer = cur;
            newerResult = result;
        }
        if (newer) emit(newer, newerResult);
        return out;
    }

    UMC::MPEG4DecoderState& State() { return m_state; }

private:
    static void CopyFrom(UMC::MPEG4DecoderState& s, UMC::MPEG4FrameBuffer* from) {
        UMC::MPEG4FrameBuffer* forward = s.dec.forward;
        s.dec.forward = from;
        UMC::mpeg4::ConcealMacroblocks(s, 0, s.dec.mbCount);
        s.dec.forward = forward;
    }

    UMC::MPEG4DecoderState m_state{};
    UMC::Mpeg4PaddedInput m_input;
    UMC::mpeg4::Mpeg4Pictures m_pictures;
    std::vector<UMC::Mpeg4MacroblockInfo> m_bInfo;
};

}  // namespace qm::test::mpeg4
