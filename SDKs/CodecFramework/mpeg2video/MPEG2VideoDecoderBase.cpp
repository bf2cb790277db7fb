// The frame driver: set-up, the per-call decode loop, frame slots and reordering, time stamps,
// skipping, flushing, the slice-parallel workers and the hand-over to post-processing.
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoderBase.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "SDKs/CodecFramework/core/AspectRatio.h"
#include "SDKs/CodecFramework/core/DecoderLimits.h"
#include "SDKs/CodecFramework/vpp/VideoProcessing.h"
#include "primitives/Memory.h"

namespace UMC {

MPEG2VideoDecoderBase::MPEG2VideoDecoderBase() {
    m_sequence.width = m_sequence.height = 100;
    m_ClipInfo.clip_width = m_ClipInfo.clip_height = 100;
    m_matrices.SetDefaults();
}

MPEG2VideoDecoderBase::~MPEG2VideoDecoderBase() {
    Close();
}

// ---------------------------------------------------------------------------------------------
// Set-up and teardown

Status MPEG2VideoDecoderBase::Init(BaseCodecParams* params) {
    auto* vp = DynamicCast<VideoDecoderParams>(params);
    if (!vp) return STATUS_INIT_FAILED;
    MediaData* initial = vp->m_pData;
    if (initial && initial->GetDataSize() == 0) initial = nullptr;

    Status st = BaseCodec::Init(params);
    if (st != STATUS_OK) return st;
    if (vp->lFlags & FLAG_VDEC_UNSUPPORTED) return STATUS_UNSUPPORTED;

    Reset();
    m_ClipInfo = vp->info;
    m_extra0 = vp->m_extra0;
    m_extra1 = vp->m_extra1;
    m_flags = vp->lFlags;
    m_PostProcessing = vp->pPostProcessing ? vp->pPostProcessing : m_allocatedPostProcessing;
    m_playbackRate = vp->dPlaybackRate;

    if (SetupThreads(vp->numThreads) != STATUS_OK) return STATUS_ALLOC_FAILED;
    if (m_vlc.Build() != STATUS_OK) return STATUS_INIT_FAILED;

    m_sequenceSeen = false;
    m_sequence.streamType = UNDEF_VIDEO;
    if (initial) {
        Mpeg2BitReader bs;
        bs.Init(initial->GetDataPointer(), initial->GetDataSize());
        int code;
        while ((code = bs.FindStartCode()) >= 0 && code != 0xB3) bs.Skip(8);
        if (code != 0xB3) return STATUS_SYNC_NOT_FOUND;
        bs.Skip(32);
        if (ParseSequenceHeader(bs) != STATUS_OK) return STATUS_INVALID_STREAM;
        bs.AlignByte();
        const uint8_t* stop = std::min(bs.ptr, bs.end);
        initial->MoveDataPointer(stop - initial->GetDataPointer());
    } else {
        // Without headers the stream information given by the caller must describe the pictures.
        int32_t& width = m_sequence.width;
        int32_t& height = m_sequence.height;
        if (m_ClipInfo.clip_width > 0 && m_ClipInfo.clip_height > 0) {
            width = m_ClipInfo.clip_width;
            height = m_ClipInfo.clip_height;
        }
        if (width <= 0 || height <= 0 || width > 65535 || height > 65535 ||
            !PictureSizeAllowed(width, height))
            return STATUS_INVALID_PARAMS;
    }

    m_userData.Close();
    m_userDataLocked = false;
    if (!m_userDataBuffer) {
        m_userDataBuffer = new (std::nothrow) SampleBuffer;
        if (m_userDataBuffer) {
            MediaBufferParams bp;
            bp.m_prefInputBufferSize = 1024;
            bp.m_numberOfFrames = 20;
            bp.m_prefOutputBufferSize = 1024;
            bp.m_pMemoryAllocator = m_pMemoryAllocator;
            if (m_userDataBuffer->Init(&bp) != STATUS_OK) {
                m_userDataBuffer->Close();
                delete m_userDataBuffer;
                m_userDataBuffer = nullptr;
            }
        }
    }
    Reset();
    m_pictureCounter = -1;
    m_initialised = true;
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::Close() {
    StopThreads();
    delete[] m_contexts;
    m_contexts = nullptr;
    m_threads = 1;
    if (m_userDataBuffer) {
        m_userDataBuffer->Close();
        delete m_userDataBuffer;
        m_userDataBuffer = nullptr;
    }
    m_userData.Close();
    m_userDataLocked = false;
    ReleaseFrames();
    m_vlc.Clear();
    m_initialised = false;
    m_sequenceSeen = false;
    m_sequenceValid = false;
    return VideoDecoder::Close();
}

Status MPEG2VideoDecoderBase::Reset() {
    m_skipCounter = 0;
    m_skipped = 0;
    m_pictureCounter = -1;  // the next picture counts as the first of a GOP
    m_dropSecondField = false;
    m_firstISeen = false;
    m_firstI = false;
    m_bAllowed = false;
    m_lastDropped = false;
    m_waiting = 0;
    m_skipB = m_skipP = false;
    m_bCount = 0;
    m_prevRef = 0;
    m_newestRef = 1;
    m_outSlot = -1;
    m_fwdRef = 0;
    m_bwdRef = 1;
    m_curSlot = 2;
    for (FrameSlot& s : m_slots) {
        s.time = -1.0;
        s.duration = 0.0;
        s.codingType = -1;
        s.damaged = 1;
    }
    m_fieldFlag = kFirstField;
    m_firstFieldType = NONE_PICTURE;
    if (m_userDataLocked && m_userDataBuffer) {
        m_userData.SetDataSize(0);
        m_userDataBuffer->UnLockOutputBuffer(&m_userData);
    }
    m_userDataLocked = false;
    m_userData.Close();
    if (m_userDataBuffer) m_userDataBuffer->Reset();
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::GetInfo(BaseCodecParams* info) {
    if (!info) return STATUS_NULL_PTR;
    info->profile = m_sequence.profile;
    info->level = m_sequence.level;
    if (auto* vp = DynamicCast<VideoDecoderParams>(info)) {
        Status st = VideoDecoder::GetInfo(info);
        if (st != STATUS_OK) return st;
        vp->m_extra0 = m_extra0;
        vp->m_extra1 = m_extra1;
        vp->lFlags = m_flags;
        vp->numThreads = m_threads;
        vp->profile = m_sequence.profile;
        vp->level = m_sequence.level;
    }
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::SetParams(BaseCodecParams* params) {
    auto* vp = DynamicCast<VideoDecoderParams>(params);
    if (!vp) return STATUS_NULL_PTR;
    switch (vp->lTrickModesFlag) {
        case UMC_TRICK_MODES_REF_ONLY:
            m_skipB = true;
            break;
        case UMC_TRICK_MODES_INTRA_ONLY:
            m_skipB = m_skipP = true;
            break;
        case UMC_TRICK_MODES_RATE:
            m_playbackRate = vp->dPlaybackRate;
            break;
        default:
            m_skipB = m_skipP = false;
            break;
    }
    return STATUS_OK;
}

namespace {

int32_t SkipStep(double seconds, double frameRate) {
    int32_t d = int32_t(seconds * frameRate);
    return d <= 3 ? 1 : d;
}

}  // namespace

Status MPEG2VideoDecoderBase::SkipVideoFrame(int32_t count) {
    if (count > 0) {
        m_skipCounter += count;
    } else if (count < 0) {
        const double rate = m_ClipInfo.framerate;
        int32_t d = SkipStep(-double(count) / (rate > 0 ? rate : 30.0), rate);
        if (m_skipCounter > 0) m_skipCounter = std::max(m_skipCounter - d, 0);
    }
    return STATUS_OK;
}

Status MPEG2VideoDecoderBase::ResetSkipCount() {
    const double rate = m_ClipInfo.framerate;
    int32_t d = SkipStep(10.0 / (rate > 0 ? rate : 30.0), rate);
    if (m_skipCounter > 0) m_skipCounter = std::max(m_skipCounter - d, 0);
    return STATUS_OK;
}

uint32_t MPEG2VideoDecoderBase::GetNumOfSkippedFrames() {
    return m_skipped;
}

Status MPEG2VideoDecoderBase::GetUserData(MediaData* output) {
    if (!output) return STATUS_NULL_PTR;
    if (!m_userDataBuffer) return STATUS_NOT_ENOUGH_DATA;
    if (m_userDataLocked) {
        m_userData.SetDataSize(0);
        m_userDataBuffer->UnLockOutputBuffer(&m_userData);
        m_userDataLocked = false;
    }
    Status st = m_userDataBuffer->LockOutputBuffer(&m_userData);
    if (st != STATUS_OK) return st;
    m_userDataLocked = true;
    output->SetBufferPointer(m_userData.GetDataPointer(), m_userData.GetDataSize());
    output->SetDataSize(m_userData.GetDataSize());
    double start, end;
    m_userData.GetTime(start, end);
    output->SetTime(start, end);
    return STATUS_OK;
}

// ---------------------------------------------------------------------------------------------
// Threads

Status MPEG2VideoDecoderBase::SetupThreads(int32_t requested) {
    StopThreads();
    delete[] m_contexts;
    m_contexts = nullptr;
    int32_t n = requested;
    if (n <= 0) n = int32_t(std::max(1u, std::thread::hardware_concurrency()));
    n = std::clamp(n, 1, kMaxThreads);
    m_contexts = new (std::nothrow) Mpeg2ThreadContext[size_t(n)];
    if (!m_contexts) return STATUS_ALLOC_FAILED;
    m_threads = n;
    RebuildContexts();
    if (n > 1) {
        m_workers = new (std::nothrow) Worker[size_t(n)];
        if (!m_workers) return STATUS_ALLOC_FAILED;
        for (int i = 1; i < n; ++i) {
            m_workers[i].decoder = this;
            m_workers[i].index = i;
            try {
                m_workers[i].thread = std::thread(WorkerMain, &m_workers[i]);
            } catch (...) {
                return STATUS_ALLOC_FAILED;
            }
        }
    }
    return STATUS_OK;
}

void MPEG2VideoDecoderBase::StopThreads() {
    if (!m_workers) return;
    for (int i = 1; i < m_threads; ++i) {
        m_workers[i].exit.Set();
        m_workers[i].start.Set();
    }
    for (int i = 1; i < m_threads; ++i)
        if (m_workers[i].thread.joinable()) m_workers[i].thread.join();
    delete[] m_workers;
    m_workers = nullptr;
}

void MPEG2VideoDecoderBase::WorkerMain(Worker* worker) {
    MPEG2VideoDecoderBase* dec = worker->decoder;
    for (;;) {
        worker->start.Wait();
        if (worker->exit.Poll()) break;
        worker->done.Reset();
        Mpeg2ThreadContext& ctx = dec->m_contexts[worker->index];
        ctx.result = dec->DecodeGroups(ctx);
        worker->done.Set();
    }
}

// Decodes every slice in the context's range; 2 when any slice had errors. lastRow receives the
// furthest macroblock row written (MPEG-1 slices may run on past their own row).
Status MPEG2VideoDecoderBase::DecodeRange(Mpeg2ThreadContext& ctx, int32_t* lastRow) {
    bool damaged = false;
    int32_t furthest = ctx.mbRow;
    for (;;) {
        Status st = FindSlice(ctx);
        if (st == STATUS_NOT_ENOUGH_DATA) break;
        if (st != STATUS_OK) {
            damaged = true;
            continue;
        }
        st = DecodeSlice(ctx);
        if (st != STATUS_OK) damaged = true;
        furthest = std::max(furthest, ctx.mbRow);
    }
    if (lastRow) *lastRow = furthest;
    return damaged ? 2 : STATUS_OK;
}

// Records where each row's slices begin while moving the reader to the picture's end (the first
// start code that is not a slice). Each group is published as soon as it is known, so workers
// already decode the first rows while the rest of the picture is scanned; a row that goes back
// ends the publishing (the picture is then decoded again in stream order).
void MPEG2VideoDecoderBase::ScanSlices(Mpeg2BitReader& bs) {
    int count = 0;
    bool ascending = true;
    int32_t previous = -1;
    for (int code; (code = bs.FindStartCode()) >= 1 && code <= 0xAF; bs.Skip(32)) {
        int32_t row = code - 1;
        if (m_sequence.height > 2800) row += bs.end - bs.ptr > 4 ? (bs.ptr[4] >> 5) << 7 : 0;
        if (row == previous) continue;
        if (row < previous && ascending) {
            ascending = false;
            m_groupsEnd = bs.ptr;
        }
        previous = row;
        if (ascending && count < kMaxSlices) {
            m_groups[count] = {bs.ptr, row, row};
            m_published.store(++count, std::memory_order_release);
        }
    }
    m_groupCount = count;
    m_rowsAscending = ascending;
    if (ascending) m_groupsEnd = bs.ptr;
    // The bottom end is known now.
    uint64_t ends = m_take.load(std::memory_order_relaxed);
    while (!m_take.compare_exchange_weak(ends, (ends & ~uint64_t(UINT32_MAX)) | uint32_t(count),
                                         std::memory_order_relaxed)) {
    }
    {
        std::lock_guard<std::mutex> lock(m_scanMutex);
        m_scanDone.store(true, std::memory_order_release);
    }
    m_scanEnded.notify_all();
}

// Threads take whole rows as they go, so each gets work in proportion to its speed whatever the
// rows cost: the workers from the top, this thread from the bottom once it has scanned the
// picture (and converted the output), till they meet. Each thread so keeps to one band of rows
// from picture to picture and mostly predicts from reference rows it wrote itself, still in its
// own cache (rows dealt out alternately cost up to a fifth more on two cores). Rows are written by
// one thread each, which keeps the picture the one a single thread makes; pictures whose slices go
// back to an earlier row, or whose MPEG-1 slices ran on into a row that another group began, are
// decoded again in stream order. The workers are started before the scan: their wake-up and
// first rows overlap it.
Status MPEG2VideoDecoderBase::DecodePicture(Mpeg2BitReader& bs, MediaData* earlyOutput) {
    Mpeg2ThreadContext& main = m_contexts[0];
    const uint8_t* begin = bs.ptr;
    m_published.store(0, std::memory_order_relaxed);
    m_scanDone.store(false, std::memory_order_relaxed);
    m_take.store(kMaxSlices, std::memory_order_relaxed);
    for (int j = 1; j < m_threads; ++j) m_workers[j].start.Set();
    ScanSlices(bs);
    const uint8_t* end = bs.ptr;
    // The picture going out is another slot, complete and only read from here on: it is
    // converted while the workers decode rows, and this thread takes fewer of them.
    if (earlyOutput) m_earlyStatus = ConvertOutput(m_outSlot, earlyOutput);
    if (m_threads > 1) {
        Status result = m_rowsAscending ? DecodeGroups(main, true) : Status(STATUS_OK);
        for (int j = 1; j < m_threads; ++j) {
            m_workers[j].done.Wait();
            if (m_contexts[j].result != STATUS_OK) result = m_contexts[j].result;
        }
        bool overlap = !m_rowsAscending;
        for (int k = 0; k + 1 < m_groupCount; ++k)
            overlap |= m_groups[k].lastRow >= m_groups[k + 1].row;
        if (!overlap) return result;
    }
    for (int j = 0; j < m_threads; ++j) m_contexts[j].mbDone = 0;
    main.bs.Init(begin, size_t(end - begin));
    return DecodeRange(main);
}

// The next group from the top or the bottom, -1 when the two ends have met.
int MPEG2VideoDecoderBase::TakeGroup(bool fromBottom) {
    uint64_t ends = m_take.load(std::memory_order_relaxed);
    for (;;) {
        const uint32_t top = uint32_t(ends >> 32), bottom = uint32_t(ends);
        if (top >= bottom) return -1;
        const uint64_t next = fromBottom ? ends - 1 : ends + (uint64_t(1) << 32);
        if (m_take.compare_exchange_weak(ends, next, std::memory_order_relaxed))
            return int(fromBottom ? bottom - 1 : top);
    }
}

Status MPEG2VideoDecoderBase::DecodeGroups(Mpeg2ThreadContext& ctx, bool fromBottom) {
    bool damaged = false;
    for (;;) {
        const int k = TakeGroup(fromBottom);
        if (k < 0) break;
        // A group runs to the start of the next one: wait until that is known or the scan is over
        // (the scan is many times faster than decoding, so this waits for the first rows only).
        // A short spin (the scan finds a row every microsecond or so), then sleep till the scan's
        // end: a busy machine may have taken the scanner.
        const auto known = [&] {
            return m_scanDone.load(std::memory_order_acquire) ||
                   k + 1 < m_published.load(std::memory_order_acquire);
        };
        if (!SpinUntil(known, std::chrono::microseconds(10))) {
            std::unique_lock<std::mutex> lock(m_scanMutex);
            m_scanEnded.wait(lock, [this] { return m_scanDone.load(std::memory_order_acquire); });
        }
        const int published = m_published.load(std::memory_order_acquire);
        if (k >= published) break;
        SliceGroup& group = m_groups[k];
        const uint8_t* stop = k + 1 < published ? m_groups[k + 1].start : m_groupsEnd;
        ctx.bs.Init(group.start, size_t(stop - group.start));
        ctx.mbRow = group.row;
        ctx.rowLimit = k + 1 < published ? m_groups[k + 1].row : INT32_MAX;
        if (DecodeRange(ctx, &group.lastRow) != STATUS_OK) damaged = true;
        ctx.rowLimit = INT32_MAX;
    }
    return damaged ? 2 : STATUS_OK;
}

// ---------------------------------------------------------------------------------------------
// Frame memory

Status MPEG2VideoDecoderBase::AllocateFrames() {
    const int32_t chroma = m_sequence.chromaFormat == CHROMA_422 ? 2 : 1;
    const int32_t mbWidth = m_sequence.mbWidth, mbHeight = m_sequence.mbHeight;
    if (m_frameMid != MID_INVALID && m_allocWidth == mbWidth && m_allocHeight == mbHeight &&
        m_allocChroma == chroma)
        return STATUS_OK;
    ReleaseFrames();
    if (!m_pMemoryAllocator) return STATUS_ALLOC_FAILED;
    m_lumaPitch = (mbWidth * 16 + 31) & ~31;
    m_chromaPitch = m_lumaPitch / 2;
    m_chromaHeight = chroma == 2 ? mbHeight * 16 : mbHeight * 8;
    m_lumaSize = size_t(m_lumaPitch) * size_t(mbHeight) * 16;
    m_chromaSize = size_t(m_chromaPitch) * size_t(m_chromaHeight);
    const size_t frameSize = m_lumaSize + 2 * m_chromaSize;
    if (m_pMemoryAllocator->Alloc(&m_frameMid, frameSize * 3, 0, 32) != STATUS_OK) {
        m_frameMid = MID_INVALID;
        return STATUS_ALLOC_FAILED;
    }
    m_frameBase = static_cast<uint8_t*>(m_pMemoryAllocator->Lock(m_frameMid));
    if (!m_frameBase) {
        m_pMemoryAllocator->Free(m_frameMid);
        m_frameMid = MID_INVALID;
        return STATUS_ALLOC_FAILED;
    }
    for (int i = 0; i < 3; ++i) {
        uint8_t* y = m_frameBase + frameSize * size_t(i);
        m_slots[i].planes[0] = y;
        m_slots[i].planes[1] = y + m_lumaSize;
        m_slots[i].planes[2] = y + m_lumaSize + m_chromaSize;
        std::memset(y, 0, m_lumaSize);
        std::memset(y + m_lumaSize, 128, 2 * m_chromaSize);
    }
    m_allocWidth = mbWidth;
    m_allocHeight = mbHeight;
    m_allocChroma = chroma;
    return STATUS_OK;
}

void MPEG2VideoDecoderBase::ReleaseFrames() {
    if (m_frameMid != MID_INVALID && m_pMemoryAllocator) {
        m_pMemoryAllocator->Unlock(m_frameMid);
        m_pMemoryAllocator->Free(m_frameMid);
    }
    m_frameMid = MID_INVALID;
    m_frameBase = nullptr;
    for (FrameSlot& s : m_slots) s.planes[0] = s.planes[1] = s.planes[2] = nullptr;
    m_allocWidth = m_allocHeight = m_allocChroma = 0;
}

// ---------------------------------------------------------------------------------------------
// Decoding

Status MPEG2VideoDecoderBase::GetFrame(MediaData* input, MediaData* output) {
    if (!m_initialised) return STATUS_NOT_INITIALIZED;
    if (!input || input->GetDataSize() == 0) {
        if (!output) return STATUS_NULL_PTR;
        if (m_waiting <= 0) return STATUS_NOT_ENOUGH_DATA;
        return OutputWaiting(output);
    }
    if (!output) return STATUS_NULL_PTR;
    const uint8_t* data = input->GetDataPointer();
    const size_t size = input->GetDataSize();
    m_bs.Init(data, size);
    m_inputTime = input->GetTime();
    m_stampTaken = false;
    Status st = DecodeLoop(output);
    m_bs.AlignByte();
    const uint8_t* pos = std::min(m_bs.ptr, data + size);
    input->MoveDataPointer(pos - data);
    // The input's time stamp belongs to the first picture that begins in it, as a system layer's
    // does; the pictures after it in the same input are timed by the running clock.
    if (m_stampTaken) input->SetTime(-1.0, -1.0);
    return st;
}

Status MPEG2VideoDecoderBase::OutputWaiting(MediaData* output) {
    const int slot = m_newestRef;
    const double stamp = m_slots[slot].time;
    --m_waiting;
    return OutputSlot(slot, stamp >= 0 ? stamp : m_clock, output);
}

// Skips the slices of a picture that is not decoded.
static void SkipSlices(Mpeg2BitReader& bs) {
    int code;
    while ((code = bs.FindStartCode()) >= 1 && code <= 0xAF) bs.Skip(32);
}

Status MPEG2VideoDecoderBase::DecodeLoop(MediaData* output) {
    Mpeg2BitReader& bs = m_bs;
    const uint8_t* const start = bs.start;
    bool found = false;
    if (!m_sequenceSeen) {
        int code;
        while ((code = bs.FindStartCode()) >= 0 && code != 0xB3) bs.Skip(8);
        if (code != 0xB3) {
            bs.ptr = std::max(start, bs.end - 3);
            return STATUS_NOT_ENOUGH_DATA;
        }
        found = true;
        bs.Skip(32);
        Status st = ParseSequenceHeader(bs);
        if (st != STATUS_OK) return st;
    }
    for (;;) {
        const uint8_t* before = bs.ptr;
        int code = bs.FindStartCode();
        if (code < 0) {
            if (!found) {
                bs.ptr = start;
                bs.bitOffset = 0;
                return STATUS_SYNC_NOT_FOUND;
            }
            // Keep a prefix that may be split across inputs.
            bs.ptr = std::max(before, bs.end - 3);
            bs.bitOffset = 0;
            return STATUS_NOT_ENOUGH_DATA;
        }
        found = true;
        bs.Skip(32);
        if (code == 0x00) break;
        if (code == 0xB7) continue;
        if (code >= 0x01 && code <= 0xAF) continue;  // a slice outside a picture
        if (code == 0xB3 && m_waiting > 0 && SequenceResizesFrames(bs)) {
            // The held reference goes out before frame memory of another size replaces it; the
            // next call starts at this header.
            bs.ptr -= 4;
            bs.bitOffset = 0;
            return OutputWaiting(output);
        }
        Status st = ParseHeader(0x100 + code, bs);
        if (st == STATUS_NOT_ENOUGH_DATA) return st;
        if (code == 0xB3 && st != STATUS_OK) return st;
    }

    const uint8_t* pictureStart = bs.ptr - 4;
    Status st = ParsePictureHeader(bs);
    m_stampTaken = !(st == STATUS_NOT_ENOUGH_DATA && !m_pictureSkipped);  // else read again
    if (st != STATUS_OK) {
        if (st == STATUS_NOT_ENOUGH_DATA && m_pictureSkipped) {
            SkipSlices(bs);
            return st;
        }
        if (st == STATUS_NOT_ENOUGH_DATA) {
            bs.ptr = pictureStart;
            bs.bitOffset = 0;
            return st;
        }
        SkipSlices(bs);
        return st;
    }
    const int32_t chroma = m_sequence.chromaFormat == CHROMA_422 ? 2 : 1;
    if (!m_frameBase || !m_sequenceValid || m_allocWidth != m_sequence.mbWidth ||
        m_allocHeight != m_sequence.mbHeight || m_allocChroma != chroma) {
        SkipSlices(bs);
        return STATUS_INVALID_PARAMS;
    }

    const PictureCodingType type = m_picture.codingType;
    const bool isB = type == B_PICTURE;
    const bool frameOrFirst = m_picture.IsFrame() || m_fieldFlag == kFirstField;
    const bool reorder = (m_flags & FLAG_VDEC_REORDER) != 0;
    const double period = m_framePeriod;
    const double sign = m_playbackRate > 0 ? 1.0 : -1.0;

    // B permission and dropping.
    if (frameOrFirst) {
        bool drop = false;
        if (type == I_PICTURE) {
            if (m_firstISeen) m_bAllowed = true;
            if (!m_firstISeen && m_skipCounter > 0) --m_skipCounter;
            m_firstISeen = true;
        } else if (type == P_PICTURE) {
            m_bAllowed = true;
            drop = m_skipP;
        } else if (!m_bAllowed && !(m_gop.closedGop && !m_gop.brokenLink)) {
            drop = true;
        } else if (m_skipB) {
            drop = true;
        } else if (m_skipCounter > 0) {
            if (m_lastDropped) {
                m_lastDropped = false;
            } else {
                --m_skipCounter;
                drop = true;
            }
        }
        if (drop) {
            ++m_skipped;
            ++m_pictureCounter;
            m_lastDropped = true;
            if (!m_picture.IsFrame()) {
                // The whole frame goes: its second field must pair with this one and be dropped
                // too, not start a frame of its own.
                m_dropSecondField = true;
                m_fieldFlag = kSecondField;
                m_firstFieldType = type;
                m_firstFieldStructure = m_picture.coding.structure;
            }
            SkipSlices(bs);
            return STATUS_NOT_ENOUGH_DATA;
        }
        if (!isB) m_lastDropped = false;
        ChooseSlot();
    }

    // Time stamps.
    FrameSlot& slot = m_slots[m_curSlot];
    double duration = period;
    if (m_picture.coding.repeatFirstField) {
        if (m_sequence.progressive)
            duration = (m_picture.coding.topFieldFirst ? 3.0 : 2.0) * period;
        else
            duration = 1.5 * period;
    }
    slot.duration = duration;
    const int tr = m_picture.header.temporalReference;
    double outTime = -1.0;
    // The running clock stands, when a reference picture arrives, at the display time of the
    // previous reference; n counts the pictures since the GOP header before this one (-1 for the
    // first), so a reference without a stamp is shown (tr - n) periods after it.
    const bool firstReference = !isB && m_slots[m_prevRef].codingType < 0;
    if (frameOrFirst) {
        const int32_t n = m_pictureCounter;
        slot.time = m_inputTime;
        if (m_inputTime > 0) {
            if (isB)
                m_clock = m_inputTime;
            else if (!(reorder && m_waiting > 0 && m_outSlot >= 0))
                m_clock = m_inputTime - double(tr - n) * period;
        }
        if (m_outSlot >= 0 && !isB && m_slots[m_prevRef].time >= 0)
            m_clock = m_slots[m_prevRef].time;
        if (m_outSlot >= 0) {
            if (m_slots[m_outSlot].time >= 0)
                outTime = m_slots[m_outSlot].time;
            else if (isB || reorder || firstReference)
                outTime = m_clock;
            else
                outTime = double(tr - n) * period + m_clock;
        }
        ++m_pictureCounter;
    }

    // A second field completes the frame begun by the first, shown at the first field's time.
    const bool secondField = !m_picture.IsFrame() && m_fieldFlag == kSecondField;
    if (secondField) {
        outTime = m_pendingOutTime;
        if (m_outSlot >= 0 && outTime < 0 && m_slots[m_outSlot].time >= 0)
            outTime = m_slots[m_outSlot].time;
    }
    // A reference picture going out while another is decoded is converted during the decode.
    const bool completes = m_picture.IsFrame() || secondField;
    const bool early = completes && m_outSlot >= 0 && m_outSlot != m_curSlot;
    Status earlyPrepared = STATUS_OK;
    if (early) earlyPrepared = PrepareOutput(m_outSlot, outTime);
    m_earlyStatus = earlyPrepared;
    // A B frame goes out after its own rows: when the chain would only copy it, the rows are
    // written straight into the output instead of its slot.
    const bool ownOutput = isB && m_picture.IsFrame() && m_outSlot == m_curSlot;
    Status prepared = STATUS_OK;
    bool direct = false;
    TargetSlot(m_curSlot);
    if (ownOutput) {
        slot.codingType = type;
        prepared = PrepareOutput(m_curSlot, outTime);
        direct = prepared == STATUS_OK && ChooseTarget(output);
    }

    // The picture's bytes: up to the first start code that is not a slice.
    const Mpeg2BitReader sliceStart = bs;
    for (int j = 0; j < m_threads; ++j) m_contexts[j].mbDone = 0;
    Status decoded = DecodePicture(bs, early && earlyPrepared == STATUS_OK ? output : nullptr);
    if (direct) {
        int32_t done = 0;
        for (int j = 0; j < m_threads; ++j) done += m_contexts[j].mbDone;
        if (decoded != STATUS_OK || done != m_sequence.mbWidth * m_picture.mbRows) {
            // Macroblocks a damaged picture lacks would show the output's old bytes: it is
            // decoded again into its slot and copied as any other picture.
            direct = false;
            TargetSlot(m_curSlot);
            Mpeg2BitReader again = sliceStart;
            decoded = DecodePicture(again, nullptr);
        }
    }
    if (frameOrFirst)
        slot.damaged = decoded != STATUS_OK ? 1 : 0;
    else if (decoded != STATUS_OK)
        slot.damaged = 1;
    slot.codingType = type;

    if (!m_picture.IsFrame() && m_fieldFlag == kFirstField) {
        // First field: the frame is complete after its second field.
        m_fieldFlag = kSecondField;
        m_firstFieldType = type;
        m_firstFieldStructure = m_picture.coding.structure;
        m_pendingOutTime = outTime;
        return STATUS_NOT_ENOUGH_DATA;
    }
    if (!m_picture.IsFrame()) m_fieldFlag = kFirstField;

    // Advance the running clock. A first reference shown at once (decode order) has no reference
    // before it to release: the clock stays on its own display time.
    if (isB)
        m_clock += m_slots[2].duration * sign;
    else if (firstReference && m_outSlot == m_curSlot)
        m_clock = outTime;
    else if (m_outSlot >= 0)
        m_clock += m_slots[m_prevRef].duration * sign;

    if (m_outSlot < 0) return STATUS_NOT_ENOUGH_DATA;
    if (early) return m_earlyStatus;
    if (!ownOutput) return OutputSlot(m_outSlot, outTime, output);
    if (prepared != STATUS_OK) return prepared;
    m_LastDecodedFrame.SetDamaged(slot.damaged);
    return direct ? FinishDirect(output) : ConvertOutput(m_outSlot, output);
}

void MPEG2VideoDecoderBase::TargetSlot(int slotIndex) {
    for (int p = 0; p < 3; ++p) {
        m_target.planes[p] = m_slots[slotIndex].planes[p];
        m_target.strip[p] = nullptr;
    }
    m_target.pitch[0] = m_lumaPitch;
    m_target.pitch[1] = m_chromaPitch;
    m_target.stripRow = INT32_MAX;
}

bool MPEG2VideoDecoderBase::ChooseTarget(MediaData* output) {
    auto* chain = DynamicCast<VideoProcessing>(m_PostProcessing);
    auto* out = DynamicCast<VideoData>(output);
    const VideoData& pic = m_LastDecodedFrame;
    if (!m_directOutput || !chain || !out || m_sequence.chromaFormat != CHROMA_420 ||
        pic.GetColorFormat() != YUV420 || out->GetNumPlanes() != 3 || !chain->CopiesOnly(pic, *out))
        return false;
    // Whole macroblocks must fit each line: no column may land past the picture's width.
    const int32_t width = m_sequence.mbWidth * 16, height = m_sequence.height;
    if (m_sequence.width != width) return false;
    // YV12 keeps Cr before Cb.
    const bool exchanged = out->GetColorFormat() != YUV420;
    uint8_t* planes[3];
    for (int p = 0; p < 3; ++p) {
        const VideoData::PlaneInfo* info = out->GetPlaneInfo(exchanged && p ? 3 - p : p);
        if (!info || !info->m_pPlane || info->m_iSampleSize != 1 || info->m_iSamples != 1 ||
            info->m_height < (p ? (height + 1) / 2 : height) ||
            info->m_width < (p ? width / 2 : width))
            return false;
        planes[p] = info->m_pPlane;
    }
    const size_t lumaPitch = out->GetPlanePitch(0), chromaPitch = out->GetPlanePitch(1);
    if (chromaPitch != out->GetPlanePitch(2) || lumaPitch < size_t(width) ||
        chromaPitch < size_t(width / 2) || lumaPitch > (1u << 20) || chromaPitch > (1u << 20))
        return false;
    // The rows from stripRow on (two at most) go to the B slot, unused meanwhile.
    const size_t stripLuma = 32 * lumaPitch, stripChroma = 16 * chromaPitch;
    if (m_picture.mbRows - height / 16 > 2 ||
        stripLuma + 2 * stripChroma > m_lumaSize + 2 * m_chromaSize)
        return false;
    uint8_t* strip = m_slots[m_curSlot].planes[0];
    for (int p = 0; p < 3; ++p) m_target.planes[p] = planes[p];
    m_target.strip[0] = strip;
    m_target.strip[1] = strip + stripLuma;
    m_target.strip[2] = strip + stripLuma + stripChroma;
    m_target.pitch[0] = int32_t(lumaPitch);
    m_target.pitch[1] = int32_t(chromaPitch);
    m_target.stripRow = height / 16;
    return true;
}

Status MPEG2VideoDecoderBase::FinishDirect(MediaData* output) {
    auto* out = static_cast<VideoData*>(output);
    const int32_t width = m_sequence.mbWidth * 16, height = m_sequence.height;
    const int32_t first = m_target.stripRow * 16;
    for (int p = 0; p < 3; ++p) {
        const int32_t shift = p ? 1 : 0;
        const size_t pitch = size_t(m_target.pitch[p ? 1 : 0]);
        const int32_t lines = ((height + shift) >> shift) - (first >> shift);
        for (int32_t y = 0; y < lines; ++y)
            std::memcpy(m_target.planes[p] + (size_t((first >> shift) + y)) * pitch,
                        m_target.strip[p] + size_t(y) * pitch, size_t(width >> shift));
    }
    // The picture is not in the slot: there is none to show again.
    for (int p = 0; p < 3; ++p) m_LastDecodedFrame.SetPlanePointer(nullptr, p);
    auto* chain = DynamicCast<VideoProcessing>(m_PostProcessing);
    const Status st = chain ? chain->DescribeOutput(&m_LastDecodedFrame, out) : STATUS_FAILED;
    out->SetDamaged(m_slots[m_curSlot].damaged);
    m_pMemoryAllocator->Unlock(m_frameMid);
    return st;
}

Status MPEG2VideoDecoderBase::OutputSlot(int slotIndex, double time, MediaData* output) {
    const Status st = PrepareOutput(slotIndex, time);
    return st == STATUS_OK ? ConvertOutput(slotIndex, output) : st;
}

// Everything of an output but the conversion: the frame memory is locked (plane pointers follow
// it if it moved) before any slice thread may be writing through them.
Status MPEG2VideoDecoderBase::PrepareOutput(int slotIndex, double time) {
    FrameSlot& slot = m_slots[slotIndex];
    if (!m_frameBase || !slot.planes[0] || !m_sequenceValid) return STATUS_NOT_ENOUGH_DATA;
    const ColorFormat format = m_sequence.chromaFormat == CHROMA_422 ? YUV422 : YUV420;
    const int32_t width = m_sequence.width, height = m_sequence.height;
    VideoData& pic = m_LastDecodedFrame;
    if (pic.GetColorFormat() != format || pic.GetWidth() != width || pic.GetHeight() != height) {
        Status st = pic.Init(width, height, format);
        if (st != STATUS_OK) return st;
    }
    uint8_t* locked = static_cast<uint8_t*>(m_pMemoryAllocator->Lock(m_frameMid));
    if (!locked) return STATUS_FAILED;
    if (locked != m_frameBase) {
        const ptrdiff_t shift = locked - m_frameBase;
        for (FrameSlot& s : m_slots)
            for (uint8_t*& p : s.planes) p += shift;
        m_frameBase = locked;
    }
    pic.SetFrameType(slot.codingType);
    pic.SetTime(time, 0);
    pic.SetDamaged(slot.damaged);
    for (int p = 0; p < 3; ++p) {
        pic.SetPlanePointer(slot.planes[p], p);
        pic.SetPlanePitch(size_t(p ? m_chromaPitch : m_lumaPitch), p);
    }
    int32_t structure = PS_FRAME;
    if (!m_sequence.progressive && !m_picture.coding.progressiveFrame) {
        const bool topFirst = m_picture.IsFrame() ? m_picture.coding.topFieldFirst
                                                  : m_firstFieldStructure == PS_TOP_FIELD;
        structure = topFirst ? PS_TOP_FIELD_FIRST : PS_BOTTOM_FIELD_FIRST;
    }
    pic.SetPictureStructure(structure);
    pic.SetAspectRatio(m_ClipInfo.aspect_ratio_width > 0 ? m_ClipInfo.aspect_ratio_width : 1,
                       m_ClipInfo.aspect_ratio_height > 0 ? m_ClipInfo.aspect_ratio_height : 1);

    if (!m_PostProcessing) {
        auto* vpp = new (std::nothrow) VideoProcessing;
        if (!vpp) {
            m_pMemoryAllocator->Unlock(m_frameMid);
            return STATUS_ALLOC_FAILED;
        }
        SetOwnPostProcessing(vpp);
    }
    return STATUS_OK;
}

// The post-processing stage converts the prepared picture into the caller's output.
Status MPEG2VideoDecoderBase::ConvertOutput(int slotIndex, MediaData* output) {
    Status st = m_PostProcessing->GetFrame(&m_LastDecodedFrame, output);
    output->SetDamaged(m_slots[slotIndex].damaged);
    m_pMemoryAllocator->Unlock(m_frameMid);
    return st;
}

}  // namespace UMC
