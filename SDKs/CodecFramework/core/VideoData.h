// A picture: the byte container plus a plane table laid out for a colour format.
#pragma once

#include "SDKs/CodecFramework/core/ColorFormat.h"
#include "SDKs/CodecFramework/core/MediaData.h"

namespace UMC {

// Picture structure: fields, a frame, and on frames the field order.
enum PictureStructure : int32_t {
    PS_TOP_FIELD = 1,
    PS_BOTTOM_FIELD = 2,
    PS_FRAME = 3,
    PS_TOP_FIELD_FIRST = 7,     // interlaced frame, top field first
    PS_BOTTOM_FIELD_FIRST = 11  // interlaced frame, bottom field first
};

// Rectangle of a crop: right 0 means the width, bottom 0 the height.
struct CropRect {
    int16_t left;
    int16_t top;
    int16_t right;
    int16_t bottom;
};

class VideoData : public MediaData {
    UMC_CLASS_IDENTITY(VideoData, MediaData)

public:
    struct PlaneInfo {
        uint8_t* m_pPlane = nullptr;
        int32_t m_width = 0;  // in units
        int32_t m_height = 0;
        int32_t m_iSampleSize = 0;  // bytes per sample
        int32_t m_iSamples = 0;     // samples per unit
        int32_t m_iBitDepth = 0;
        size_t m_nPitch = 0;
        size_t m_nOffset = 0;
        size_t m_nMemSize = 0;
        int32_t m_iWidthDiv = 1;  // horizontal subsampling
        int32_t m_iHeightDiv = 1;
    };

    VideoData() = default;
    VideoData(const VideoData& other);
    VideoData& operator=(const VideoData& other);
    ~VideoData() override;

    Status Close() override;
    Status SetBufferPointer(uint8_t* pointer, size_t size) override;

    // A picture of planeCount planes of one sample per unit; no colour format.
    virtual Status Init(int32_t width, int32_t height, int32_t planeCount, int32_t bitDepth);
    // A picture laid out for a colour format; bitDepth 0 takes the format's default.
    virtual Status Init(int32_t width, int32_t height, ColorFormat format, int32_t bitDepth = 0);
    // Allocates memory for the whole mapping (aligned) and lays the planes out in it.
    using MediaData::Alloc;
    virtual Status Alloc();
    virtual Status ReleaseImage();
    virtual size_t GetMappingSize() const;
    // Lays the planes out one after another from pointer with luma pitch `pitch` (0: keep).
    virtual Status SetSurface(uint8_t* pointer, size_t pitch = 0);
    // Estimates the luma pitch that a mapping of `size` bytes would have.
    virtual size_t CalcPitchFromMappingSize(size_t size) const;
    virtual Status Crop(CropRect rect);

    int32_t GetWidth() const { return m_iWidth; }
    int32_t GetHeight() const { return m_iHeight; }
    ColorFormat GetColorFormat() const { return m_colorFormat; }
    int32_t GetNumPlanes() const { return m_iPlanes; }
    const PlaneInfo* GetPlaneInfo(int32_t plane) const;
    uint8_t* GetPlanePointer(int32_t plane) const;
    size_t GetPlanePitch(int32_t plane) const;
    Status SetPlanePointer(uint8_t* pointer, int32_t plane);
    Status SetPlanePitch(size_t pitch, int32_t plane);
    Status SetPlaneBitDepth(int32_t bitDepth, int32_t plane);
    int32_t GetPictureStructure() const { return m_picStructure; }
    void SetPictureStructure(int32_t structure) { m_picStructure = structure; }
    void GetAspectRatio(int32_t* width, int32_t* height) const;
    Status SetAspectRatio(int32_t width, int32_t height);
    int32_t GetAlignment() const { return m_iAlignment; }
    // Power of two up to 0x100000; re-lays the planes when a format is set.
    Status SetAlignment(int32_t alignment);

protected:
    Status SetColorFormat(ColorFormat format);
    void CopyPlanes(const VideoData& other);
    void FreePlaneTable();
    uint8_t* AlignUp(uint8_t* p) const;
    // Before the planes move to pointer: the picture memory this container allocated is kept
    // when pointer lies inside it (the planes still use it) and freed otherwise.
    void KeepOrFreeOwnMemory(const uint8_t* pointer);

    PlaneInfo* m_pPlaneData = nullptr;
    int32_t m_iPlanes = 0;
    int32_t m_iWidth = 0;
    int32_t m_iHeight = 0;
    ColorFormat m_colorFormat = NONE;
    int32_t m_picStructure = PS_FRAME;
    int32_t m_iAspectWidth = 1;
    int32_t m_iAspectHeight = 1;
    int32_t m_iAlignment = 1;
    uint8_t* m_pbAllocated = nullptr;
    size_t m_nAllocatedSize = 0;  // bytes at m_pbAllocated
};

}  // namespace UMC
