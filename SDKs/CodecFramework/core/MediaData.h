// The byte container that carries compressed input and decoded output between filters and codecs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SDKs/CodecFramework/core/ClassIdentity.h"
#include "SDKs/CodecFramework/core/Status.h"

namespace UMC {

// Frame types carried by every container; values of 5 and above are never stored.
enum FrameType : int32_t {
    NONE_PICTURE = 0,
    I_PICTURE = 1,
    P_PICTURE = 2,
    B_PICTURE = 3,
    D_PICTURE = 4,
};

class MediaData {
    UMC_ROOT_CLASS_IDENTITY(MediaData)

public:
    MediaData() = default;
    // A copy shares the other's buffer without owning it.
    MediaData(const MediaData& other);
    MediaData& operator=(const MediaData& other);
    virtual ~MediaData();

    virtual Status Close();
    virtual Status Alloc(size_t size);
    virtual uint8_t* GetBufferPointer() { return m_pBufferPointer; }
    virtual uint8_t* GetDataPointer() { return m_pDataPointer; }
    virtual size_t GetBufferSize() { return m_nBufferSize; }
    virtual size_t GetDataSize() { return m_nDataSize; }
    virtual Status SetBufferPointer(uint8_t* pointer, size_t size);
    virtual Status SetDataSize(size_t size);
    // Positive: consumes data; negative: gives data back up to the buffer start.
    virtual Status MoveDataPointer(ptrdiff_t offset);
    virtual Status GetTime(double& start, double& end);
    virtual double GetTime();
    virtual Status SetTime(double start, double end = -1.0);
    virtual Status Reset();
    // Appends as much data as fits behind the destination's data and consumes it here.
    virtual Status MoveDataTo(MediaData* destination);

    int32_t GetFrameType() const { return m_frameType; }
    // Types of 5 and above are ignored.
    void SetFrameType(int32_t type) {
        if (type >= 0 && type < 5) m_frameType = type;
    }
    int32_t GetDamaged() const { return m_isDamaged; }
    void SetDamaged(int32_t damaged) { m_isDamaged = damaged; }
    int32_t GetDescriptor() const { return m_descriptor; }
    void SetDescriptor(int32_t value) { m_descriptor = value; }
    bool OwnsBuffer() const { return m_ownsBuffer != 0; }

protected:
    void CopyFields(const MediaData& other);
    void FreeOwnedBuffer();

    double m_dStartTime = -1.0;
    double m_dEndTime = -1.0;
    size_t m_nBufferSize = 0;
    size_t m_nDataSize = 0;
    uint8_t* m_pBufferPointer = nullptr;
    uint8_t* m_pDataPointer = nullptr;
    int32_t m_frameType = NONE_PICTURE;
    int32_t m_isDamaged = 0;
    int32_t m_descriptor = 0;
    int32_t m_ownsBuffer = 0;
};

}  // namespace UMC
