#include "SDKs/CodecFramework/core/MediaData.h"

#include <cstring>

#include "primitives/Memory.h"

namespace UMC {

MediaData::MediaData(const MediaData& other) {
    CopyFields(other);
}

MediaData& MediaData::operator=(const MediaData& other) {
    if (this != &other) {
        FreeOwnedBuffer();
        CopyFields(other);
    }
    return *this;
}

MediaData::~MediaData() {
    FreeOwnedBuffer();
}

void MediaData::CopyFields(const MediaData& other) {
    m_dStartTime = other.m_dStartTime;
    m_dEndTime = other.m_dEndTime;
    m_nBufferSize = other.m_nBufferSize;
    m_nDataSize = other.m_nDataSize;
    m_pBufferPointer = other.m_pBufferPointer;
    m_pDataPointer = other.m_pDataPointer;
    m_frameType = other.m_frameType;
    m_isDamaged = other.m_isDamaged;
    m_descriptor = other.m_descriptor;
    m_ownsBuffer = 0;
}

void MediaData::FreeOwnedBuffer() {
    if (m_ownsBuffer && m_pBufferPointer) spFree(m_pBufferPointer);
    m_ownsBuffer = 0;
}

Status MediaData::Close() {
    FreeOwnedBuffer();
    m_pBufferPointer = m_pDataPointer = nullptr;
    m_nBufferSize = m_nDataSize = 0;
    m_frameType = NONE_PICTURE;
    return STATUS_OK;
}

Status MediaData::Alloc(size_t size) {
    Close();
    if (size == 0) return STATUS_OK;
    if (size > size_t(INT32_MAX)) return STATUS_ALLOC_FAILED;
    uint8_t* p = spAlloc8u(int(size));
    if (!p) return STATUS_ALLOC_FAILED;
    m_pBufferPointer = m_pDataPointer = p;
    m_nBufferSize = size;
    m_nDataSize = 0;
    m_ownsBuffer = 1;
    return STATUS_OK;
}

Status MediaData::SetBufferPointer(uint8_t* pointer, size_t size) {
    FreeOwnedBuffer();
    m_pBufferPointer = m_pDataPointer = pointer;
    m_nBufferSize = size;
    m_nDataSize = 0;
    m_frameType = NONE_PICTURE;
    return STATUS_OK;
}

Status MediaData::SetDataSize(size_t size) {
    if (!m_pBufferPointer) return STATUS_NULL_PTR;
    if (size > m_nBufferSize - size_t(m_pDataPointer - m_pBufferPointer)) return STATUS_FAILED;
    m_nDataSize = size;
    return STATUS_OK;
}

Status MediaData::MoveDataPointer(ptrdiff_t offset) {
    if (offset >= 0) {
        if (size_t(offset) > m_nDataSize) return STATUS_FAILED;
        m_pDataPointer += offset;
        m_nDataSize -= size_t(offset);
        return STATUS_OK;
    }
    const size_t back = size_t(-offset);
    if (back > size_t(m_pDataPointer - m_pBufferPointer)) return STATUS_FAILED;
    m_pDataPointer -= back;
    m_nDataSize += back;
    return STATUS_OK;
}

Status MediaData::GetTime(double& start, double& end) {
    start = m_dStartTime;
    end = m_dEndTime;
    return STATUS_OK;
}

double MediaData::GetTime() {
    return m_dStartTime;
}

Status MediaData::SetTime(double start, double end) {
    m_dStartTime = start;
    m_dEndTime = end;
    return STATUS_OK;
}

Status MediaData::Reset() {
    m_pDataPointer = m_pBufferPointer;
    m_nDataSize = 0;
    m_dStartTime = m_dEndTime = -1.0;
    m_frameType = NONE_PICTURE;
    m_isDamaged = 0;
    return STATUS_OK;
}

Status MediaData::MoveDataTo(MediaData* destination) {
    if (!m_pDataPointer) return STATUS_NOT_INITIALIZED;
    if (!destination || !destination->m_pBufferPointer) return STATUS_NULL_PTR;
    uint8_t* destEnd = destination->m_pBufferPointer + destination->m_nBufferSize;
    uint8_t* destFree = destination->m_pDataPointer + destination->m_nDataSize;
    const size_t room = destEnd > destFree ? size_t(destEnd - destFree) : 0;
    const size_t count = m_nDataSize < room ? m_nDataSize : room;
    if (count) std::memcpy(destFree, m_pDataPointer, count);
    destination->m_nDataSize += count;
    MoveDataPointer(ptrdiff_t(count));
    destination->m_dStartTime = m_dStartTime;
    destination->m_dEndTime = m_dEndTime;
    destination->SetFrameType(m_frameType);
    destination->m_isDamaged = m_isDamaged;
    return STATUS_OK;
}

}  // namespace UMC
