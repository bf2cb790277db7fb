// A ring of variable-size samples with times. Each sample's header sits in the ring at the first
// 128-aligned address after its data; a sample occupies its data and header rounded up to 128.
// A producer and a consumer thread may use one buffer concurrently.
#pragma once

#include "SDKs/CodecFramework/core/MediaBuffer.h"
#include "SDKs/CodecFramework/core/Mutex.h"

namespace UMC {

class SampleBuffer : public MediaBuffer {
    UMC_CLASS_IDENTITY(SampleBuffer, MediaBuffer)

public:
    // Room kept beside a sample's data for its header record, and the margin a lock demands.
    static constexpr size_t kHeaderRoom = 184;
    static constexpr size_t kLockMargin = 312;
    static constexpr size_t kRecordAlign = 128;

    SampleBuffer() = default;
    ~SampleBuffer() override;

    // MediaBufferParams with non-zero input block size and sample count.
    Status Init(MediaReceiverParams* params) override;
    Status Close() override;
    Status LockInputBuffer(MediaData* in) override;
    // A non-OK streamStatus (e.g. STATUS_END_OF_STREAM) marks the end of the stream.
    Status UnLockInputBuffer(MediaData* in, Status streamStatus = STATUS_OK) override;
    Status Stop() override;
    Status Reset() override;
    Status LockOutputBuffer(MediaData* out) override;
    Status UnLockOutputBuffer(MediaData* out) override;
    // Waits for any operation in progress on another thread.
    virtual Status Synchronize();

    size_t GetRingSize() const { return m_lBufferSize; }
    size_t GetFreeSize();
    size_t GetDataSize();

private:
    struct SampleInfo {
        double m_dTime;
        double m_dTimeAux;
        int32_t m_frameType;
        size_t m_lDataSize;
        size_t m_lBufferSize;  // the whole record in the ring
        uint8_t* m_pbData;
        SampleInfo* m_pNext;
    };
    static_assert(sizeof(SampleInfo) + kRecordAlign <= kHeaderRoom + kRecordAlign);

    void ResetRing();
    SampleInfo* LastSample() const;
    size_t ContiguousFree() const;

    Mutex m_synchro;
    MemID m_midAllocatedBuffer = MID_INVALID;
    uint8_t* m_pbAllocatedBuffer = nullptr;
    uint8_t* m_pbBuffer = nullptr;  // ring start, 128-aligned
    size_t m_lBufferSize = 0;
    uint8_t* m_pbFree = nullptr;  // write position
    size_t m_lFreeSize = 0;
    uint8_t* m_pbUsed = nullptr;  // read position
    size_t m_lUsedSize = 0;       // bytes of sample data held
    SampleInfo* m_pSamples = nullptr;
    size_t m_lInputSize = 0;
    bool m_bEndOfStream = false;
    bool m_bQuit = false;  // end of stream was reported once with data pending
    bool m_bOutputLocked = false;
    MediaBufferParams m_Params;
};

}  // namespace UMC
