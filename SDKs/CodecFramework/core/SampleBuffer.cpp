#include "SDKs/CodecFramework/core/SampleBuffer.h"

#include <algorithm>

namespace UMC {
namespace {

uint8_t* AlignUp(uint8_t* p, size_t a) {
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(p) + a - 1) & ~uintptr_t(a - 1));
}

}  // namespace

SampleBuffer::~SampleBuffer() {
    SampleBuffer::Close();
}

Status SampleBuffer::Init(MediaReceiverParams* params) {
    auto* p = DynamicCast<MediaBufferParams>(params);
    if (!p) return STATUS_NULL_PTR;
    if (p->m_prefInputBufferSize == 0 || p->m_numberOfFrames == 0) return STATUS_INIT_FAILED;
    Close();
    Status st = MediaBuffer::Init(params);
    if (st != STATUS_OK) return st;

    const size_t block = std::max(p->m_prefOutputBufferSize, p->m_prefInputBufferSize);
    const size_t count = std::max<size_t>(p->m_numberOfFrames, 3);
    if (block > (size_t(1) << 30) / count) return STATUS_ALLOC_FAILED;
    const size_t size = (block + kHeaderRoom) * count;

    AutomaticMutex guard(m_synchro);
    if (m_pMemoryAllocator->Alloc(&m_midAllocatedBuffer, size + kRecordAlign, 0, 16) != STATUS_OK)
        return STATUS_ALLOC_FAILED;
    m_pbAllocatedBuffer = static_cast<uint8_t*>(m_pMemoryAllocator->Lock(m_midAllocatedBuffer));
    if (!m_pbAllocatedBuffer) {
        m_pMemoryAllocator->Free(m_midAllocatedBuffer);
        m_midAllocatedBuffer = MID_INVALID;
        return STATUS_ALLOC_FAILED;
    }
    m_pbBuffer = AlignUp(m_pbAllocatedBuffer, kRecordAlign);
    m_lBufferSize = size;
    m_lInputSize = p->m_prefInputBufferSize;
    m_Params.m_prefInputBufferSize = p->m_prefInputBufferSize;
    m_Params.m_numberOfFrames = p->m_numberOfFrames;
    m_Params.m_prefOutputBufferSize = p->m_prefOutputBufferSize;
    m_Params.m_pMemoryAllocator = p->m_pMemoryAllocator;
    ResetRing();
    return STATUS_OK;
}

Status SampleBuffer::Close() {
    {
        AutomaticMutex guard(m_synchro);
        if (m_midAllocatedBuffer != MID_INVALID && m_pMemoryAllocator) {
            m_pMemoryAllocator->Unlock(m_midAllocatedBuffer);
            m_pMemoryAllocator->Free(m_midAllocatedBuffer);
        }
        m_midAllocatedBuffer = MID_INVALID;
        m_pbAllocatedBuffer = m_pbBuffer = nullptr;
        m_lBufferSize = 0;
        m_lInputSize = 0;
        ResetRing();
        m_Params = MediaBufferParams();
    }
    return MediaBuffer::Close();
}

void SampleBuffer::ResetRing() {
    m_pbFree = m_pbUsed = m_pbBuffer;
    m_lFreeSize = m_lBufferSize;
    m_lUsedSize = 0;
    m_pSamples = nullptr;
    m_bEndOfStream = false;
    m_bQuit = false;
    m_bOutputLocked = false;
}

SampleBuffer::SampleInfo* SampleBuffer::LastSample() const {
    SampleInfo* s = m_pSamples;
    while (s && s->m_pNext) s = s->m_pNext;
    return s;
}

size_t SampleBuffer::ContiguousFree() const {
    const size_t toEnd = size_t(m_pbBuffer + m_lBufferSize - m_pbFree);
    return std::min(m_lFreeSize, toEnd);
}

Status SampleBuffer::LockInputBuffer(MediaData* in) {
    AutomaticMutex guard(m_synchro);
    if (!m_pbBuffer) return STATUS_NOT_INITIALIZED;
    if (!in) return STATUS_NULL_PTR;
    for (;;) {
        const size_t contiguous = ContiguousFree();
        if (contiguous >= m_lInputSize + kLockMargin) {
            in->SetBufferPointer(m_pbFree, contiguous - kHeaderRoom);
            return STATUS_OK;
        }
        if (!m_pSamples) {
            // Nothing held: start over at the ring start, where all the space is.
            m_pbFree = m_pbUsed = m_pbBuffer;
            m_lFreeSize = m_lBufferSize;
            in->SetBufferPointer(m_pbFree, m_lBufferSize - kHeaderRoom);
            return STATUS_OK;
        }
        if (m_lFreeSize > contiguous) {
            // The free space crosses the ring end: give the tail to the last sample and wrap.
            LastSample()->m_lBufferSize += contiguous;
            m_lFreeSize -= contiguous;
            m_pbFree = m_pbBuffer;
            continue;
        }
        return STATUS_NOT_ENOUGH_BUFFER;
    }
}

Status SampleBuffer::UnLockInputBuffer(MediaData* in, Status streamStatus) {
    AutomaticMutex guard(m_synchro);
    if (!m_pbBuffer) return STATUS_NOT_INITIALIZED;
    if (!in) return STATUS_NULL_PTR;
    if (streamStatus != STATUS_OK) m_bEndOfStream = true;
    const size_t dataSize = in->GetDataSize();
    if (dataSize == 0) return STATUS_OK;
    uint8_t* data = in->GetDataPointer();
    const size_t contiguous = ContiguousFree();
    if (data < m_pbFree || size_t(data - m_pbFree) + dataSize + kLockMargin > contiguous)
        return STATUS_FAILED;
    if (m_lFreeSize < m_lInputSize) return STATUS_NOT_ENOUGH_BUFFER;

    auto* header = reinterpret_cast<SampleInfo*>(AlignUp(data + dataSize, kRecordAlign));
    uint8_t* recordEnd =
        AlignUp(reinterpret_cast<uint8_t*>(header) + sizeof(SampleInfo), kRecordAlign);
    double start = -1.0, end = -1.0;
    in->GetTime(start, end);
    header->m_dTime = start;
    header->m_dTimeAux = end;
    header->m_frameType = in->GetFrameType();
    header->m_lDataSize = dataSize;
    header->m_lBufferSize = size_t(recordEnd - m_pbFree);
    header->m_pbData = data;
    header->m_pNext = nullptr;
    if (SampleInfo* last = LastSample())
        last->m_pNext = header;
    else
        m_pSamples = header;

    m_lFreeSize -= header->m_lBufferSize;
    m_lUsedSize += dataSize;
    m_pbFree = recordEnd;
    if (m_pbFree == m_pbBuffer + m_lBufferSize) m_pbFree = m_pbBuffer;
    return STATUS_OK;
}

Status SampleBuffer::Stop() {
    return STATUS_OK;
}

Status SampleBuffer::Reset() {
    AutomaticMutex guard(m_synchro);
    ResetRing();
    return STATUS_OK;
}

Status SampleBuffer::LockOutputBuffer(MediaData* out) {
    AutomaticMutex guard(m_synchro);
    if (!m_pbBuffer) return STATUS_NOT_INITIALIZED;
    if (!out) return STATUS_NULL_PTR;
    if (m_pSamples) {
        SampleInfo* s = m_pSamples;
        out->SetBufferPointer(s->m_pbData, s->m_lDataSize);
        out->SetDataSize(s->m_lDataSize);
        out->SetTime(s->m_dTime, s->m_dTimeAux);
        out->SetFrameType(s->m_frameType);
        m_bOutputLocked = true;
        return STATUS_OK;
    }
    if (m_bEndOfStream) {
        if (m_bQuit || m_lUsedSize == 0) {
            ResetRing();
            return STATUS_END_OF_STREAM;
        }
        m_bQuit = true;
    }
    return STATUS_NOT_ENOUGH_DATA;
}

Status SampleBuffer::UnLockOutputBuffer(MediaData* out) {
    AutomaticMutex guard(m_synchro);
    if (!m_pbBuffer) return STATUS_NOT_INITIALIZED;
    if (!out) return STATUS_NULL_PTR;
    SampleInfo* s = m_pSamples;
    if (!s || !m_bOutputLocked) return STATUS_FAILED;
    const size_t remaining = out->GetDataSize();
    const size_t bufferSize = out->GetBufferSize();
    if (remaining > bufferSize) return STATUS_FAILED;
    const size_t consumed = bufferSize - remaining;
    if (consumed > s->m_lDataSize) return STATUS_FAILED;
    m_bOutputLocked = false;
    if (consumed == s->m_lDataSize) {
        m_lUsedSize -= s->m_lDataSize;
        m_lFreeSize += s->m_lBufferSize;
        m_pbUsed += s->m_lBufferSize;
        if (m_pbUsed >= m_pbBuffer + m_lBufferSize) m_pbUsed = m_pbBuffer;
        m_pSamples = s->m_pNext;
        if (!m_pSamples) {
            // Empty ring: the write position may restart anywhere; keep it where it is.
            m_pbUsed = m_pbFree;
        }
        return STATUS_OK;
    }
    s->m_pbData += consumed;
    s->m_lDataSize -= consumed;
    m_lUsedSize -= consumed;
    s->m_dTime = out->GetTime();
    return STATUS_OK;
}

Status SampleBuffer::Synchronize() {
    AutomaticMutex guard(m_synchro);
    return STATUS_OK;
}

size_t SampleBuffer::GetFreeSize() {
    AutomaticMutex guard(m_synchro);
    return m_lFreeSize;
}

size_t SampleBuffer::GetDataSize() {
    AutomaticMutex guard(m_synchro);
    return m_lUsedSize;
}

}  // namespace UMC
