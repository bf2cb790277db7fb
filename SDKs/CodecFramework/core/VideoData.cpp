#include "SDKs/CodecFramework/core/VideoData.h"

#include <cstring>
#include <new>

#include "primitives/Memory.h"

namespace UMC {
namespace {

size_t RoundUp(size_t value, size_t alignment) {
    return alignment <= 1 ? value : (value + alignment - 1) / alignment * alignment;
}

int32_t CeilDiv(int32_t a, int32_t b) {
    return b <= 1 ? a : (a + b - 1) / b;
}

size_t SurfaceMappingSize(ColorFormat format) {
    return format == OPAQUE_SURFACE_A ? 256 : format == OPAQUE_SURFACE_B ? 16 : 0;
}

}  // namespace

VideoData::VideoData(const VideoData& other) : MediaData(other) {
    CopyPlanes(other);
}

VideoData& VideoData::operator=(const VideoData& other) {
    if (this != &other) {
        Close();
        MediaData::operator=(other);
        CopyPlanes(other);
    }
    return *this;
}

VideoData::~VideoData() {
    Close();
}

void VideoData::CopyPlanes(const VideoData& other) {
    m_iWidth = other.m_iWidth;
    m_iHeight = other.m_iHeight;
    m_colorFormat = other.m_colorFormat;
    m_picStructure = other.m_picStructure;
    m_iAspectWidth = other.m_iAspectWidth;
    m_iAspectHeight = other.m_iAspectHeight;
    m_iAlignment = other.m_iAlignment;
    m_pbAllocated = nullptr;  // a copy never owns the picture memory
    m_nAllocatedSize = 0;
    m_pPlaneData = nullptr;
    m_iPlanes = 0;
    if (other.m_pPlaneData && other.m_iPlanes > 0) {
        m_pPlaneData = new (std::nothrow) PlaneInfo[size_t(other.m_iPlanes)];
        if (m_pPlaneData) {
            m_iPlanes = other.m_iPlanes;
            for (int32_t i = 0; i < m_iPlanes; ++i) m_pPlaneData[i] = other.m_pPlaneData[i];
        }
    }
}

void VideoData::FreePlaneTable() {
    delete[] m_pPlaneData;
    m_pPlaneData = nullptr;
    m_iPlanes = 0;
}

Status VideoData::Close() {
    ReleaseImage();
    FreePlaneTable();
    m_iWidth = m_iHeight = 0;
    m_colorFormat = NONE;
    return STATUS_OK;
}

Status VideoData::ReleaseImage() {
    for (int32_t i = 0; i < m_iPlanes; ++i) m_pPlaneData[i].m_pPlane = nullptr;
    if (m_pbAllocated) {
        spFree(m_pbAllocated);
        m_pbAllocated = nullptr;
        m_nAllocatedSize = 0;
    }
    return MediaData::Close();
}

Status VideoData::Init(int32_t width, int32_t height, int32_t planeCount, int32_t bitDepth) {
    if (width <= 0 || height <= 0 || planeCount <= 0 || bitDepth < 8) return STATUS_INVALID_STREAM;
    Close();
    m_pPlaneData = new (std::nothrow) PlaneInfo[size_t(planeCount)];
    if (!m_pPlaneData) return STATUS_ALLOC_FAILED;
    m_iPlanes = planeCount;
    m_iWidth = width;
    m_iHeight = height;
    for (int32_t i = 0; i < planeCount; ++i) {
        PlaneInfo& p = m_pPlaneData[i];
        p = PlaneInfo{};
        p.m_iSamples = 1;
        p.m_iSampleSize = (bitDepth + 7) / 8;
        p.m_iBitDepth = bitDepth;
    }
    return STATUS_OK;
}

Status VideoData::Init(int32_t width, int32_t height, ColorFormat format, int32_t bitDepth) {
    if (IsSurfaceFormat(format)) {
        Close();
        // MediaData::Alloc closes through the virtual Close, so describe the surface after it.
        Status st = MediaData::Alloc(SurfaceMappingSize(format));
        if (st != STATUS_OK) return st;
        m_colorFormat = format;
        m_iWidth = width;
        m_iHeight = height;
        std::memset(m_pBufferPointer, 0, m_nBufferSize);
        return STATUS_OK;
    }
    const ColorFormatLayout* layout = FindColorFormatLayout(format);
    if (!layout) return STATUS_INVALID_STREAM;
    Status st = Init(width, height, layout->planes, bitDepth ? bitDepth : layout->bitDepth);
    if (st != STATUS_OK) return st;
    return SetColorFormat(format);
}

Status VideoData::SetColorFormat(ColorFormat format) {
    const ColorFormatLayout* layout = FindColorFormatLayout(format);
    if (!layout || m_iPlanes < layout->planes) return STATUS_INVALID_STREAM;
    size_t offset = 0;
    for (int32_t i = 0; i < m_iPlanes; ++i) {
        PlaneInfo& p = m_pPlaneData[i];
        const bool inTable = i < layout->planes;
        const PlaneLayout pl = inTable ? layout->plane[i] : PlaneLayout{1, 1, 1, 1};
        p.m_iWidthDiv = pl.subsampleX;
        p.m_iHeightDiv = pl.subsampleY;
        p.m_iSamples = pl.samples;
        p.m_width = CeilDiv(m_iWidth, pl.subsampleX);
        p.m_height = CeilDiv(m_iHeight, pl.subsampleY);
        size_t alignment = size_t(p.m_iSamples) * size_t(p.m_iSampleSize);
        if (size_t(m_iAlignment) > alignment) alignment = size_t(m_iAlignment);
        if (inTable) {
            if (size_t(layout->minAlignment) > alignment) alignment = size_t(layout->minAlignment);
            alignment *= size_t(pl.pitchMultiplier);
        }
        p.m_nPitch =
            RoundUp(size_t(p.m_width) * size_t(p.m_iSamples) * size_t(p.m_iSampleSize), alignment);
        p.m_nMemSize = size_t(p.m_height) * p.m_nPitch;
        p.m_nOffset = offset;
        offset += p.m_nMemSize;
    }
    m_colorFormat = format;
    return STATUS_OK;
}

size_t VideoData::GetMappingSize() const {
    if (IsSurfaceFormat(m_colorFormat)) return SurfaceMappingSize(m_colorFormat);
    size_t size = 0;
    for (int32_t i = 0; i < m_iPlanes; ++i) size += m_pPlaneData[i].m_nMemSize;
    return size;
}

uint8_t* VideoData::AlignUp(uint8_t* p) const {
    const uintptr_t a = uintptr_t(m_iAlignment > 1 ? m_iAlignment : 1);
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + a - 1) / a * a);
}

Status VideoData::Alloc() {
    ReleaseImage();
    const size_t mapping = GetMappingSize();
    if (mapping == 0) return STATUS_INVALID_STREAM;
    const size_t total = mapping + size_t(m_iAlignment) - 1;
    if (total > size_t(INT32_MAX)) return STATUS_ALLOC_FAILED;
    uint8_t* memory = spAlloc8u(int(total));
    if (!memory) return STATUS_ALLOC_FAILED;
    Status st = SetBufferPointer(memory, total);
    m_pbAllocated = memory;
    m_nAllocatedSize = total;
    return st;
}

Status VideoData::SetBufferPointer(uint8_t* pointer, size_t size) {
    if (IsSurfaceFormat(m_colorFormat)) {
        const size_t mapping = GetMappingSize();
        MediaData::SetBufferPointer(pointer, size);
        if (size < mapping) return STATUS_NOT_ENOUGH_BUFFER;
        m_nDataSize = mapping;
        return STATUS_OK;
    }
    if (!m_pPlaneData) {
        m_nDataSize = 0;
        return STATUS_NOT_INITIALIZED;
    }
    const size_t mapping = GetMappingSize();
    if (size < mapping || !pointer) {
        m_nDataSize = 0;
        return pointer ? STATUS_NOT_ENOUGH_BUFFER : STATUS_NULL_PTR;
    }
    uint8_t* aligned = AlignUp(pointer);
    if (size_t(aligned - pointer) + mapping > size) {
        m_nDataSize = 0;
        return STATUS_NOT_ENOUGH_BUFFER;
    }
    uint8_t* planeStart = aligned;
    for (int32_t i = 0; i < m_iPlanes; ++i) {
        m_pPlaneData[i].m_pPlane = planeStart;
        planeStart += m_pPlaneData[i].m_nMemSize;
    }
    KeepOrFreeOwnMemory(pointer);
    MediaData::SetBufferPointer(pointer, size);
    m_nDataSize = size_t(aligned - pointer) + mapping;
    MoveDataPointer(aligned - pointer);
    return STATUS_OK;
}

void VideoData::KeepOrFreeOwnMemory(const uint8_t* pointer) {
    if (!m_pbAllocated) return;
    const uintptr_t p = reinterpret_cast<uintptr_t>(pointer);
    const uintptr_t own = reinterpret_cast<uintptr_t>(m_pbAllocated);
    if (p >= own && p - own < m_nAllocatedSize) return;
    spFree(m_pbAllocated);
    m_pbAllocated = nullptr;
    m_nAllocatedSize = 0;
}

Status VideoData::SetSurface(uint8_t* pointer, size_t pitch) {
    if (!pointer) return STATUS_NULL_PTR;
    if (!m_pPlaneData) return STATUS_NOT_INITIALIZED;
    if (pitch == 0) pitch = m_pPlaneData[0].m_nPitch;
    const PlaneInfo& luma = m_pPlaneData[0];
    size_t offset = 0;
    for (int32_t i = 0; i < m_iPlanes; ++i) {
        PlaneInfo& p = m_pPlaneData[i];
        if (i == 0) {
            p.m_nPitch = pitch;
        } else {
            // Rounded up: an odd luma pitch of 4:2:0 still holds the last chroma sample of a row.
            const size_t den = size_t(p.m_iWidthDiv) * size_t(luma.m_iSamples);
            p.m_nPitch = (pitch * size_t(p.m_iSamples) * size_t(luma.m_iWidthDiv) + den - 1) / den;
        }
        p.m_nMemSize = size_t(p.m_height) * p.m_nPitch;
        p.m_nOffset = offset;
        p.m_pPlane = pointer + offset;
        offset += p.m_nMemSize;
    }
    KeepOrFreeOwnMemory(pointer);
    MediaData::SetBufferPointer(pointer, offset);
    m_nDataSize = offset;
    return STATUS_OK;
}

size_t VideoData::CalcPitchFromMappingSize(size_t size) const {
    if (!m_pPlaneData || m_iPlanes == 0) return 0;
    const PlaneInfo& luma = m_pPlaneData[0];
    // mapping = pitch * sum(height_i * ratio_i), ratio_i = pitch_i / pitch_0
    double rows = 0;
    for (int32_t i = 0; i < m_iPlanes; ++i) {
        const PlaneInfo& p = m_pPlaneData[i];
        rows += double(p.m_height) * double(p.m_iSamples) * double(luma.m_iWidthDiv) /
                (double(p.m_iWidthDiv) * double(luma.m_iSamples));
    }
    return rows > 0 ? size_t(double(size) / rows) : 0;
}

Status VideoData::Crop(CropRect rect) {
    const int32_t right = rect.right == 0 ? m_iWidth : rect.right;
    const int32_t bottom = rect.bottom == 0 ? m_iHeight : rect.bottom;
    const int32_t newWidth = right - rect.left;
    const int32_t newHeight = bottom - rect.top;
    if (newWidth < 1 || newHeight < 1 || rect.left < 0 || rect.top < 0 || right > m_iWidth ||
        bottom > m_iHeight)
        return STATUS_INVALID_PARAMS;
    for (int32_t i = 0; i < m_iPlanes; ++i) {
        PlaneInfo& p = m_pPlaneData[i];
        const int32_t sx = p.m_iWidthDiv > 0 ? p.m_iWidthDiv : 1;
        const int32_t sy = p.m_iHeightDiv > 0 ? p.m_iHeightDiv : 1;
        if (p.m_pPlane)
            p.m_pPlane += size_t(rect.left / sx) * size_t(p.m_iSamples) * size_t(p.m_iSampleSize) +
                          size_t(rect.top / sy) * p.m_nPitch;
        p.m_width = CeilDiv(newWidth, sx);
        p.m_height = CeilDiv(newHeight, sy);
    }
    m_iWidth = newWidth;
    m_iHeight = newHeight;
    return STATUS_OK;
}

const VideoData::PlaneInfo* VideoData::GetPlaneInfo(int32_t plane) const {
    if (!m_pPlaneData || plane < 0 || plane >= m_iPlanes) return nullptr;
    return &m_pPlaneData[plane];
}

uint8_t* VideoData::GetPlanePointer(int32_t plane) const {
    const PlaneInfo* p = GetPlaneInfo(plane);
    return p ? p->m_pPlane : nullptr;
}

size_t VideoData::GetPlanePitch(int32_t plane) const {
    const PlaneInfo* p = GetPlaneInfo(plane);
    return p ? p->m_nPitch : 0;
}

Status VideoData::SetPlanePointer(uint8_t* pointer, int32_t plane) {
    if (!m_pPlaneData) return STATUS_NOT_INITIALIZED;
    if (plane < 0 || plane >= m_iPlanes) return STATUS_FAILED;
    m_pPlaneData[plane].m_pPlane = pointer;
    return STATUS_OK;
}

Status VideoData::SetPlanePitch(size_t pitch, int32_t plane) {
    if (!m_pPlaneData) return STATUS_NOT_INITIALIZED;
    if (plane < 0 || plane >= m_iPlanes) return STATUS_FAILED;
    m_pPlaneData[plane].m_nPitch = pitch;
    m_pPlaneData[plane].m_nMemSize = pitch * size_t(m_pPlaneData[plane].m_height);
    return STATUS_OK;
}

Status VideoData::SetPlaneBitDepth(int32_t bitDepth, int32_t plane) {
    if (!m_pPlaneData) return STATUS_NOT_INITIALIZED;
    if (plane < 0 || plane >= m_iPlanes) return STATUS_FAILED;
    if (bitDepth < 8) return STATUS_INVALID_PARAMS;
    m_pPlaneData[plane].m_iBitDepth = bitDepth;
    m_pPlaneData[plane].m_iSampleSize = (bitDepth + 7) / 8;
    return STATUS_OK;
}

void VideoData::GetAspectRatio(int32_t* width, int32_t* height) const {
    if (width) *width = m_iAspectWidth;
    if (height) *height = m_iAspectHeight;
}

Status VideoData::SetAspectRatio(int32_t width, int32_t height) {
    if (width < 1 || height < 1) return STATUS_INVALID_PARAMS;
    m_iAspectWidth = width;
    m_iAspectHeight = height;
    return STATUS_OK;
}

Status VideoData::SetAlignment(int32_t alignment) {
    if (alignment < 1 || alignment > 0x100000 || (alignment & (alignment - 1)) != 0)
        return STATUS_INVALID_PARAMS;
    m_iAlignment = alignment;
    if (m_colorFormat != NONE && !IsSurfaceFormat(m_colorFormat) && m_pPlaneData)
        return SetColorFormat(m_colorFormat);
    return STATUS_OK;
}

}  // namespace UMC
