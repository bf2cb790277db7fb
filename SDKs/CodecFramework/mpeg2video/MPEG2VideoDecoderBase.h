// MPEG-1/MPEG-2 video decoder: header parsing, slice decoding into three frame slots, display
// reordering, time stamps, skipping and the optional slice-parallel worker threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "SDKs/CodecFramework/core/MediaData.h"
#include "SDKs/CodecFramework/core/SampleBuffer.h"
#include "SDKs/CodecFramework/core/SpinWaitEvent.h"
#include "SDKs/CodecFramework/core/VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg2video/MPEG2VideoDecoder.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2BitReader.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Headers.h"
#include "SDKs/CodecFramework/mpeg2video/Mpeg2Tables.h"

namespace UMC {

// Internal start codes (0x100 + the value after the 00 00 01 prefix).
enum : int32_t {
    MPEG2_PICTURE_START = 0x100,
    MPEG2_USER_DATA = 0x1B2,
    MPEG2_SEQUENCE_HEADER = 0x1B3,
    MPEG2_EXTENSION = 0x1B5,
    MPEG2_SEQUENCE_END = 0x1B7,
    MPEG2_GROUP_START = 0x1B8,
};

// Which field of a field pair the decoder expects next (a frame picture resets it to the first).
enum Mpeg2FieldOfPair : int32_t {
    kFirstField = 0,
    kSecondField = 1,
};

// Where the slices of the current picture write: its own slot, or the caller's output for a B
// picture the post-processing chain would only copy. Macroblock rows from stripRow on would run
// past the output's last line; they go to `strip` (same pitches, its first line that of row
// stripRow) and their visible lines are copied over afterwards.
struct Mpeg2PictureTarget {
    uint8_t* planes[3] = {};  // Y, Cb, Cr
    int32_t pitch[2] = {};    // luma, chroma
    int32_t stripRow = INT32_MAX;
    uint8_t* strip[3] = {};
};

// On cache lines of its own: the contexts sit side by side and each is written per macroblock.
struct alignas(64) Mpeg2ThreadContext {
    Mpeg2BitReader bs;
    alignas(32) int16_t block[64];
    const uint8_t* scan = kMpeg2ZigzagScan;
    // Matrices in natural order: intra, non-intra, chroma intra, chroma non-intra.
    uint8_t matrix[4][64];
    int quantScale = 2;
    int dcPred[3] = {128, 128, 128};
    int pmv[2][2][2] = {};  // [r][s][t]
    int mbRow = 0;
    int mbCol = -1;
    // Rows at and below this one belong to another thread's slices: a slice that runs on into
    // them stops there (the picture is then decoded again in stream order).
    int rowLimit = INT32_MAX;
    // Current macroblock.
    int mbType = 0;
    Mpeg2MotionType motionType = kMotionFrame;
    int dctType = 0;
    int fieldSelect[2][2] = {};
    int mv[2][2][2] = {};
    int dmv[2] = {};
    // Previous macroblock, for skipped macroblocks of B pictures.
    int prevMbType = 0;
    int32_t mbDone = 0;  // macroblocks written since the driver cleared it
    Status result = STATUS_OK;
};

class MPEG2VideoDecoderBase : public VideoDecoder {
    UMC_CLASS_IDENTITY(MPEG2VideoDecoderBase, VideoDecoder)

public:
    static constexpr int kMaxThreads = 8;
    static constexpr int kMaxSlices = 1024;

    MPEG2VideoDecoderBase();
    ~MPEG2VideoDecoderBase() override;

    Status Init(BaseCodecParams* params) override;
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status GetInfo(BaseCodecParams* info) override;
    void SetDirectOutput(bool on) { m_directOutput = on; }
    Status Close() override;
    Status Reset() override;
    Status SetParams(BaseCodecParams* params) override;
    Status ResetSkipCount() override;
    Status SkipVideoFrame(int32_t count) override;
    uint32_t GetNumOfSkippedFrames() override;
    Status GetUserData(MediaData* output) override;
    virtual int32_t GetSlot14Query() { return 0; }

    // Header parser entry (start code 0x100..0x1B8); the reader stands after the 4-byte code.
    Status ParseHeader(int32_t code, Mpeg2BitReader& bs);

    // For tests and the tools.
    const VideoStreamInfo& StreamInfo() const { return m_ClipInfo; }
    double FramePeriod() const { return m_framePeriod; }
    int32_t MbWidth() const { return m_sequence.mbWidth; }
    int32_t MbHeight() const { return m_sequence.mbHeight; }
    int32_t Profile() const { return m_sequence.profile; }
    int32_t Level() const { return m_sequence.level; }
    const Mpeg2Sequence& Sequence() const { return m_sequence; }
    const Mpeg2GopHeader& Gop() const { return m_gop; }
    const Mpeg2Picture& Picture() const { return m_picture; }
    const Mpeg2QuantMatrices& Matrices() const { return m_matrices; }
    int32_t ThreadCount() const { return m_threads; }

private:
    struct FrameSlot {
        uint8_t* planes[3] = {};
        int32_t codingType = -1;
        double time = -1.0;
        double duration = 0.0;
        int32_t damaged = 1;
    };
    struct Worker {
        MPEG2VideoDecoderBase* decoder = nullptr;
        int index = 0;
        std::thread thread;
        SpinWaitEvent exit, start, done;
    };

    // Headers. The extensions after a header go into the values being built for it: the
    // sequence-level ones only after a sequence header, the picture coding extension only after
    // a picture header; quantiser matrices anywhere.
    struct ExtensionTarget {
        Mpeg2Sequence* sequence = nullptr;
        Mpeg2Picture* picture = nullptr;
        Mpeg2QuantMatrices* matrices = nullptr;
    };
    Status ParseSequenceHeader(Mpeg2BitReader& bs);
    // Whether the sequence header after `bs` (past its start code) needs frame memory of another
    // layout; reads a copy of the reader, so nothing changes.
    bool SequenceResizesFrames(Mpeg2BitReader bs) const;
    Status ParseExtensions(Mpeg2BitReader& bs, const ExtensionTarget& target);
    Status ParseExtension(Mpeg2BitReader& bs, const ExtensionTarget& target);
    Status ParseGopHeader(Mpeg2BitReader& bs);
    Status ParsePictureHeader(Mpeg2BitReader& bs);
    Status ParseUserData(Mpeg2BitReader& bs);
    void UpdateSequenceInfo();
    void RebuildContexts();
    Status AllocateFrames();
    void ReleaseFrames();

    // Driver.
    Status DecodeLoop(MediaData* output);
    // Publishes the picture's row groups for the threads and leaves the reader at its end.
    void ScanSlices(Mpeg2BitReader& bs);
    // Decodes the slices from the reader to the picture's end, where it leaves the reader. With
    // `earlyOutput` the output slot (not the one decoded) is converted into it meanwhile; its
    // status goes to m_earlyStatus.
    Status DecodePicture(Mpeg2BitReader& bs, MediaData* earlyOutput);
    Status OutputSlot(int slot, double time, MediaData* output);
    // Outputs the reference picture held back for display order (a drain).
    Status OutputWaiting(MediaData* output);
    Status PrepareOutput(int slot, double time);
    Status ConvertOutput(int slot, MediaData* output);
    // Points m_target at the slot being decoded, or at `output` when the B picture may be decoded
    // straight into it (true then); PrepareOutput has described the picture.
    bool ChooseTarget(MediaData* output);
    void TargetSlot(int slot);
    // A picture decoded straight into the output: the strip's visible lines and the output's
    // description; STATUS_OK.
    Status FinishDirect(MediaData* output);
    void ChooseSlot();
    Status SetupThreads(int32_t requested);
    void StopThreads();
    static void WorkerMain(Worker* worker);
    Status DecodeRange(Mpeg2ThreadContext& ctx, int32_t* lastRow = nullptr);
    int TakeGroup(bool fromBottom);
    Status DecodeGroups(Mpeg2ThreadContext& ctx, bool fromBottom = false);

    // Slices (Mpeg2Slice.cpp).
    Status FindSlice(Mpeg2ThreadContext& ctx);
    Status DecodeSlice(Mpeg2ThreadContext& ctx);
    template <int kChroma, bool kField>
    Status DecodeSliceMpeg2(Mpeg2ThreadContext& ctx);
    template <int kChroma>
    Status DecodeSliceIntra(Mpeg2ThreadContext& ctx);
    Status DecodeSliceMpeg1(Mpeg2ThreadContext& ctx);
    template <int kChroma, bool kField, bool kIntraOnly, bool kMpeg1>
    Status DecodeSliceBody(Mpeg2ThreadContext& ctx);

    friend struct Mpeg2SliceDecoder;

public:
    // Header state (read by the slice decoders), each part replaced only by a header read whole.
    Mpeg2Sequence m_sequence;
    Mpeg2GopHeader m_gop;
    Mpeg2Picture m_picture;
    bool m_sequenceSeen = false;   // a sequence header was accepted since Init
    bool m_sequenceValid = false;  // the last sequence header was accepted
    int32_t m_pictureCounter = -1;
    // The first field's coding type and structure while its second field is due.
    PictureCodingType m_firstFieldType = NONE_PICTURE;
    PictureStructure m_firstFieldStructure = PictureStructure(0);

    // Frame memory.
    MemID m_frameMid = MID_INVALID;
    uint8_t* m_frameBase = nullptr;
    int32_t m_lumaPitch = 0, m_chromaPitch = 0;
    size_t m_lumaSize = 0, m_chromaSize = 0;
    int32_t m_chromaHeight = 0;
    int32_t m_allocWidth = 0, m_allocHeight = 0, m_allocChroma = 0;
    FrameSlot m_slots[3];
    Mpeg2PictureTarget m_target;
    int32_t m_curSlot = 0, m_newestRef = 1, m_prevRef = 0, m_outSlot = -1;
    int32_t m_fwdRef = 0, m_bwdRef = 1;
    int32_t m_waiting = 0;
    Mpeg2FieldOfPair m_fieldFlag = kFirstField;

    Mpeg2VlcTables m_vlc;

private:
    // Driver state.
    int32_t m_flags = 0;
    int32_t m_extra0 = 0, m_extra1 = 0;
    bool m_skipB = false, m_skipP = false;
    bool m_directOutput = false;  // B frames may be decoded straight into the output
    double m_playbackRate = 1.0;
    double m_framePeriod = 1.0 / 30;
    double m_clock = 0.0;
    double m_inputTime = -1.0;
    bool m_stampTaken = false;  // a picture of this input took its time stamp
    uint32_t m_skipped = 0;
    int32_t m_skipCounter = 0;
    int32_t m_bCount = 0;
    bool m_firstI = false;
    bool m_firstISeen = false;
    bool m_bAllowed = false;
    bool m_lastDropped = false;
    bool m_initialised = false;
    double m_pendingOutTime = -1.0;
    bool m_pictureSkipped = false;
    bool m_dropSecondField = false;    // the picture header asked to skip the picture
    Mpeg2BitReader m_bs;               // the decode loop's reader over the caller's input
    Status m_earlyStatus = STATUS_OK;  // the output converted while the picture was decoded

    // Threads.
    int32_t m_threads = 1;
    // The picture's slices in groups of one macroblock row (the first kMaxSlices rows; the last
    // group runs to the picture's end). Workers take groups from the top, the calling thread from
    // the bottom (m_take).
    struct SliceGroup {
        const uint8_t* start;
        int32_t row;      // vertical position of its slices
        int32_t lastRow;  // the last row its slices wrote, set by the thread that decoded it
    };
    SliceGroup m_groups[kMaxSlices] = {};
    int m_groupCount = 0;
    bool m_rowsAscending = true;           // groups never go back to an earlier row
    const uint8_t* m_groupsEnd = nullptr;  // end of the last group, valid once m_scanDone is set
    std::atomic<int> m_published{0};       // groups the scan has recorded so far
    std::atomic<bool> m_scanDone{false};
    std::mutex m_scanMutex;  // for workers that caught up with the scan to sleep till its end
    std::condition_variable m_scanEnded;
    // The next group from the top (high half) and one past the last left at the bottom (low
    // half, kMaxSlices till the scan has ended), changed together.
    std::atomic<uint64_t> m_take{0};
    Mpeg2ThreadContext* m_contexts = nullptr;
    Worker* m_workers = nullptr;  // index 1..m_threads-1 used
    Mpeg2QuantMatrices m_matrices;

    // User data.
    SampleBuffer* m_userDataBuffer = nullptr;
    MediaData m_userData;
    bool m_userDataLocked = false;
};

}  // namespace UMC
