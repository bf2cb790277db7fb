#include "SDKs/CodecFramework/vpp/VideoProcessing.h"

#include <new>

namespace UMC {
namespace {

// The layout a picture passes through when no kernel converts it to the output directly.
ColorFormat FallbackFormat(ColorFormat input) {
    switch (input) {
        case YUV411:
        case YUV422A:
            return YUV422;
        case YUV420:
            return YV12;
        case YUV422:
            return YUY2;
        case YUV444:
        case ARGB32:
        case RGB565:
        case RGB555:
        case RGB16_OTHER:
            return RGB24;
        case Y411:
        case Y41P:
            return YUV411;
        case RGB24:
            return ARGB32;
        case YUV444A:
            return YUV444;
        default:
            return YUV420;
    }
}

bool HasPicture(const VideoData& v) {
    for (int i = 0; i < v.GetNumPlanes(); ++i)
        if (v.GetPlanePointer(i)) return true;
    return false;
}

bool KnownStructure(int32_t s) {
    return s == PS_TOP_FIELD || s == PS_BOTTOM_FIELD || s == PS_FRAME || s == PS_TOP_FIELD_FIRST ||
           s == PS_BOTTOM_FIELD_FIRST;
}

// Steps of GetFrame that only describe the output.
void TakeTimes(VideoData& in, VideoData& out) {
    if (in.GetFrameType() < 5) out.SetFrameType(in.GetFrameType());
    double start = -1.0, end = -1.0;
    in.GetTime(start, end);
    out.SetTime(start, end);
}

size_t ReportedSize(const VideoData& in, const VideoData& out) {
    size_t dataSize = out.GetMappingSize();
    if (dataSize == 0) dataSize = in.GetMappingSize();
    return dataSize == 0 ? 1 : dataSize;
}

}  // namespace

VideoProcessing::VideoProcessing() {
    auto* deinterlacing = new (std::nothrow) Deinterlacing;
    auto* conversion = new (std::nothrow) ColorSpaceConversion;
    auto* resizing = new (std::nothrow) VideoResizing;
    if (!deinterlacing || !conversion || !resizing) {
        delete deinterlacing;
        delete conversion;
        delete resizing;
        return;  // no stages: GetFrame reports STATUS_NOT_INITIALIZED
    }
    deinterlacing->SetMethod(1);
    deinterlacing->SetThreshold(0);
    resizing->SetMethod(1);
    m_stages[0] = deinterlacing;
    m_stages[1] = conversion;  // pre-conversion: the same converter, used only as fallback
    m_stages[2] = conversion;
    m_stages[3] = resizing;
    for (int i = 0; i < 4; ++i) m_owned[i] = true;
    m_count = 4;
    m_iDeinterlacing = 0;
    m_iColorInit = 1;
    m_iColorConv = 2;
    m_iResizing = 3;
}

VideoProcessing::~VideoProcessing() {
    Close();
}

void VideoProcessing::DestroyStages() {
    // The pre-conversion slot shares the converter of the conversion slot: clear it first so
    // that the converter is destroyed once.
    if (m_iColorInit >= 0) m_stages[m_iColorInit] = nullptr;
    for (int i = 0; i < m_count; ++i) {
        if (m_owned[i]) delete m_stages[i];
        m_stages[i] = nullptr;
        m_owned[i] = m_enabled[i] = false;
    }
    m_count = 0;
    m_iDeinterlacing = m_iColorInit = m_iColorConv = m_iResizing = -1;
}

Status VideoProcessing::Close() {
    DestroyStages();
    for (VideoData*& frame : m_intermediate) {
        delete frame;
        frame = nullptr;
    }
    m_croppedInput.Close();
    m_swapped.Close();
    return STATUS_OK;
}

Status VideoProcessing::Reset() {
    for (int i = 0; i < m_count; ++i)
        if (m_stages[i] && i != m_iColorInit) m_stages[i]->Reset();
    return STATUS_OK;
}

Status VideoProcessing::Init(BaseCodecParams* params) {
    return SetParams(params);
}

Status VideoProcessing::SetParams(BaseCodecParams* params) {
    auto* p = DynamicCast<VideoProcessingParams>(params);
    if (!p) return STATUS_NULL_PTR;
    m_params = *p;
    if (auto* d = DynamicCast<Deinterlacing>(GetStage(m_iDeinterlacing)))
        d->SetMethod(m_params.m_iDeinterlacingMethod);
    if (auto* r = DynamicCast<VideoResizing>(GetStage(m_iResizing)))
        r->SetMethod(m_params.m_iResizingMethod);
    const CropRect& c = m_params.m_cropRect;
    m_bCrop = c.left != 0 || c.top != 0 || c.right != 0 || c.bottom != 0;
    return STATUS_OK;
}

Status VideoProcessing::GetInfo(BaseCodecParams* params) {
    auto* p = DynamicCast<VideoProcessingParams>(params);
    if (!p) return STATUS_NULL_PTR;
    *p = m_params;
    return STATUS_OK;
}

Status VideoProcessing::AddFilter(BaseCodec* stage, bool atEnd) {
    if (!stage) return STATUS_NULL_PTR;
    if (m_count >= kMaxStages) return STATUS_NOT_ENOUGH_BUFFER;
    int position = m_count;
    if (!atEnd) {
        for (int i = m_count; i > 0; --i) {
            m_stages[i] = m_stages[i - 1];
            m_owned[i] = m_owned[i - 1];
            m_enabled[i] = m_enabled[i - 1];
            m_intermediate[i] = m_intermediate[i - 1];
        }
        m_intermediate[0] = nullptr;
        for (int* role : {&m_iDeinterlacing, &m_iColorInit, &m_iColorConv, &m_iResizing})
            if (*role >= 0) ++*role;
        position = 0;
    }
    m_stages[position] = stage;
    m_owned[position] = true;
    m_enabled[position] = true;
    ++m_count;
    return STATUS_OK;
}

VideoData* VideoProcessing::Intermediate(int position, int32_t width, int32_t height,
                                         ColorFormat format, Status* status) {
    VideoData*& frame = m_intermediate[position];
    if (!frame) frame = new (std::nothrow) VideoData;
    if (!frame) {
        *status = STATUS_ALLOC_FAILED;
        return nullptr;
    }
    if (frame->GetWidth() != width || frame->GetHeight() != height ||
        frame->GetColorFormat() != format || !frame->GetPlanePointer(0)) {
        Status st = frame->Init(width, height, format);
        if (st == STATUS_OK) st = frame->Alloc();
        if (st != STATUS_OK) {
            frame->Close();
            *status = st;
            return nullptr;
        }
    }
    *status = STATUS_OK;
    return frame;
}

Status VideoProcessing::GetFrame(MediaData* input, MediaData* output) {
    VideoData* in = DynamicCast<VideoData>(input);
    VideoData* out = DynamicCast<VideoData>(output);
    if (!in || !out) return STATUS_NULL_PTR;
    if (m_count == 0 || m_iColorConv < 0 || !m_stages[m_iColorConv]) return STATUS_NOT_INITIALIZED;

    TakeTimes(*in, *out);

    VideoData* current = in;
    if (m_bCrop) {
        Status st = m_croppedInput.Describe(*in);
        if (st == STATUS_OK) st = m_croppedInput.Crop(m_params.m_cropRect);
        if (st != STATUS_OK) return st;
        current = &m_croppedInput;
    }

    bool enabled[kMaxStages] = {};
    for (int i = 0; i < m_count; ++i) enabled[i] = m_enabled[i];
    for (int role : {m_iDeinterlacing, m_iColorInit, m_iColorConv, m_iResizing})
        if (role >= 0) enabled[role] = false;
    const int32_t structure = current->GetPictureStructure();
    if (m_iDeinterlacing >= 0)
        enabled[m_iDeinterlacing] = m_params.m_iDeinterlacingMethod != 0 && structure != PS_FRAME;
    enabled[m_iColorConv] = current->GetColorFormat() != out->GetColorFormat();
    // Resizing when the picture does not fit the output; a larger output (a padded buffer, a
    // window bigger than the picture) receives the picture in its top-left corner unscaled.
    if (m_iResizing >= 0)
        enabled[m_iResizing] =
            current->GetWidth() > out->GetWidth() || current->GetHeight() > out->GetHeight();

    if (!HasPicture(*current)) return STATUS_NOT_ENOUGH_DATA;

    const size_t dataSize = ReportedSize(*in, *out);

    const bool deinterlacing = m_iDeinterlacing >= 0 && enabled[m_iDeinterlacing];
    if (deinterlacing)
        out->SetPictureStructure(PS_FRAME);
    else if (KnownStructure(structure))
        out->SetPictureStructure(structure);

    // YUV420 <-> YV12 next to another stage: exchange the chroma plane pointers instead of
    // converting.
    VideoData* target = out;
    const ColorFormat inFormat = current->GetColorFormat(), outFormat = out->GetColorFormat();
    if ((inFormat == YUV420 && outFormat == YV12) || (inFormat == YV12 && outFormat == YUV420)) {
        bool otherStage = false;
        for (int i = 0; i < m_count; ++i)
            if (enabled[i] && i != m_iColorConv) otherStage = true;
        if (otherStage) {
            Status st = m_swapped.Describe(outFormat == YV12 ? *out : *current);
            if (st != STATUS_OK) return st;
            m_swapped.SwapPlanes(1, 2);
            m_swapped.RelabelFormat(YUV420);
            if (outFormat == YV12)
                target = &m_swapped;
            else
                current = &m_swapped;
            enabled[m_iColorConv] = false;
        }
    }

    bool any = false;
    for (int i = 0; i < m_count; ++i) any = any || enabled[i];
    if (!any) enabled[m_iColorConv] = true;  // same format and size: the converter copies

    int last = -1;
    for (int i = 0; i < m_count; ++i)
        if (enabled[i]) last = i;

    ColorFormat fallback = NONE;
    for (int i = 0; i < m_count;) {
        if (!enabled[i] || !m_stages[i]) {
            ++i;
            continue;
        }
        VideoData* destination = target;
        if (i != last) {
            int32_t w = current->GetWidth(), h = current->GetHeight();
            ColorFormat f = current->GetColorFormat();
            if (i == m_iColorConv) {
                f = target->GetColorFormat();
            } else if (i == m_iColorInit) {
                f = fallback;
            } else if (i == m_iResizing) {
                w = target->GetWidth();
                h = target->GetHeight();
            }
            Status st;
            destination = Intermediate(i, w, h, f, &st);
            if (!destination) return st;
            destination->SetPictureStructure(current->GetPictureStructure());
        }
        const Status st = m_stages[i]->GetFrame(current, destination);
        if (st == STATUS_NOT_IMPLEMENTED && i == m_iColorConv && m_iColorInit >= 0 &&
            m_iColorInit < m_iColorConv && !enabled[m_iColorInit]) {
            // Through an intermediate layout: resume at the pre-conversion position.
            enabled[m_iColorInit] = true;
            fallback = FallbackFormat(current->GetColorFormat());
            i = m_iColorInit;
            continue;
        }
        if (st != STATUS_OK) return st;
        current = destination;
        ++i;
    }

    in->SetDataSize(0);
    out->SetDataSize(dataSize);
    return STATUS_OK;
}

bool VideoProcessing::CopiesOnly(const VideoData& input, const VideoData& output) const {
    if (m_count == 0 || m_iColorConv < 0 || !m_stages[m_iColorConv] || m_bCrop) return false;
    for (int i = 0; i < m_count; ++i)
        if (m_enabled[i] && i != m_iDeinterlacing && i != m_iColorInit && i != m_iColorConv &&
            i != m_iResizing)
            return false;
    if (m_iDeinterlacing >= 0 && m_params.m_iDeinterlacingMethod != 0 &&
        input.GetPictureStructure() != PS_FRAME)
        return false;
    if (input.GetWidth() != output.GetWidth() || input.GetHeight() != output.GetHeight())
        return false;
    const ColorFormat in = input.GetColorFormat(), out = output.GetColorFormat();
    return in == out || (in == YUV420 && out == YV12) || (in == YV12 && out == YUV420);
}

Status VideoProcessing::DescribeOutput(VideoData* input, VideoData* output) {
    if (!input || !output) return STATUS_NULL_PTR;
    TakeTimes(*input, *output);
    const int32_t structure = input->GetPictureStructure();
    if (KnownStructure(structure)) output->SetPictureStructure(structure);
    input->SetDataSize(0);
    output->SetDataSize(ReportedSize(*input, *output));
    return STATUS_OK;
}

}  // namespace UMC
