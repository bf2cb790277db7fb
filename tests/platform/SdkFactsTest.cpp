// Checks our declarations against the SDK facts table in the shared folder: GUID values, sizes,
// field offsets, constants, and the vtable slot of every interface method (read from member
// function pointers, so the real layout is checked, not the source text).
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dshow/DShow.h"
#include "tests/support/Paths.h"

namespace {

struct Fact {
    std::string kind, name, value;
};

std::vector<Fact> ReadFacts(const std::filesystem::path& path) {
    std::vector<Fact> facts;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Fact f;
        std::getline(fields, f.kind, '\t');
        std::getline(fields, f.name, '\t');
        std::getline(fields, f.value);
        facts.push_back(f);
    }
    return facts;
}

#define QM_GUID(name) \
    { #name, &name }
const std::map<std::string, const GUID*>& Guids() {
    static const std::map<std::string, const GUID*> guids = {
        QM_GUID(GUID_NULL),
        QM_GUID(IID_IUnknown),
        QM_GUID(IID_IPersist),
        QM_GUID(IID_IMediaFilter),
        QM_GUID(IID_IBaseFilter),
        QM_GUID(IID_IPin),
        QM_GUID(IID_IEnumPins),
        QM_GUID(IID_IEnumMediaTypes),
        QM_GUID(IID_IMemInputPin),
        QM_GUID(IID_IMemAllocator),
        QM_GUID(IID_IMemAllocatorCallbackTemp),
        QM_GUID(IID_IMemAllocatorNotifyCallbackTemp),
        QM_GUID(IID_IMediaSample),
        QM_GUID(IID_IMediaSample2),
        QM_GUID(IID_IQualityControl),
        QM_GUID(IID_IAMovieSetup),
        QM_GUID(IID_IReferenceClock),
        QM_GUID(IID_IFilterGraph),
        QM_GUID(IID_INSSBuffer),
        QM_GUID(IID_INSSBuffer2),
        QM_GUID(IID_INSSBuffer3),
        QM_GUID(IID_INSSBuffer4),
        QM_GUID(IID_IMediaBuffer),
        QM_GUID(IID_IMFMediaBuffer),
        QM_GUID(CLSID_MemoryAllocator),
        QM_GUID(MEDIATYPE_Video),
        QM_GUID(MEDIATYPE_Audio),
        QM_GUID(MEDIATYPE_Stream),
        QM_GUID(MEDIASUBTYPE_MPEG2_VIDEO),
        QM_GUID(MEDIASUBTYPE_MPEG1Payload),
        QM_GUID(MEDIASUBTYPE_MPEG1Video),
        QM_GUID(MEDIASUBTYPE_MPEG1AudioPayload),
        QM_GUID(MEDIASUBTYPE_MPEG2_AUDIO),
        QM_GUID(MEDIASUBTYPE_DOLBY_AC3),
        QM_GUID(MEDIASUBTYPE_DVD_LPCM_AUDIO),
        QM_GUID(MEDIASUBTYPE_PCM),
        QM_GUID(MEDIASUBTYPE_IEEE_FLOAT),
        QM_GUID(MEDIASUBTYPE_MPEG1System),
        QM_GUID(MEDIASUBTYPE_MPEG2_PROGRAM),
        QM_GUID(MEDIASUBTYPE_MPEG2_TRANSPORT),
        QM_GUID(MEDIASUBTYPE_YUY2),
        QM_GUID(MEDIASUBTYPE_YVYU),
        QM_GUID(MEDIASUBTYPE_UYVY),
        QM_GUID(MEDIASUBTYPE_NV12),
        QM_GUID(MEDIASUBTYPE_IYUV),
        QM_GUID(MEDIASUBTYPE_YV12),
        QM_GUID(MEDIASUBTYPE_YVU9),
        QM_GUID(MEDIASUBTYPE_Y411),
        QM_GUID(MEDIASUBTYPE_Y41P),
        QM_GUID(MEDIASUBTYPE_RGB1),
        QM_GUID(MEDIASUBTYPE_RGB4),
        QM_GUID(MEDIASUBTYPE_RGB8),
        QM_GUID(MEDIASUBTYPE_RGB555),
        QM_GUID(MEDIASUBTYPE_RGB565),
        QM_GUID(MEDIASUBTYPE_RGB24),
        QM_GUID(MEDIASUBTYPE_RGB32),
        QM_GUID(MEDIASUBTYPE_ARGB32),
        QM_GUID(MEDIASUBTYPE_dvsd),
        QM_GUID(MEDIASUBTYPE_MJPG),
        QM_GUID(FORMAT_VideoInfo),
        QM_GUID(FORMAT_VideoInfo2),
        QM_GUID(FORMAT_MPEGVideo),
        QM_GUID(FORMAT_MPEG2Video),
        QM_GUID(FORMAT_DvInfo),
        QM_GUID(FORMAT_AnalogVideo),
        QM_GUID(FORMAT_WaveFormatEx),
        QM_GUID(FORMAT_None),
    };
    return guids;
}

#define QM_SIZE(type) \
    { #type, sizeof(type) }
const std::map<std::string, size_t>& Sizes() {
    static const std::map<std::string, size_t> sizes = {
        QM_SIZE(GUID),
        QM_SIZE(RECT),
        QM_SIZE(AM_MEDIA_TYPE),
        QM_SIZE(BITMAPINFOHEADER),
        QM_SIZE(VIDEOINFOHEADER),
        QM_SIZE(VIDEOINFOHEADER2),
        QM_SIZE(MPEG1VIDEOINFO),
        QM_SIZE(MPEG2VIDEOINFO),
        QM_SIZE(WAVEFORMATEX),
        QM_SIZE(WAVEFORMATEXTENSIBLE),
        QM_SIZE(MPEG1WAVEFORMAT),
        QM_SIZE(DVINFO),
        QM_SIZE(ANALOGVIDEOINFO),
        QM_SIZE(ALLOCATOR_PROPERTIES),
        QM_SIZE(AM_SAMPLE2_PROPERTIES),
        QM_SIZE(REFERENCE_TIME),
        QM_SIZE(LONG),
        QM_SIZE(DWORD),
        QM_SIZE(BOOL),
        QM_SIZE(WCHAR),
    };
    return sizes;
}

#define QM_OFFSET(type, field) \
    { #type "." #field, offsetof(type, field) }
const std::map<std::string, size_t>& Offsets() {
    static const std::map<std::string, size_t> offsets = {
        QM_OFFSET(AM_MEDIA_TYPE, majortype),
        QM_OFFSET(AM_MEDIA_TYPE, subtype),
        QM_OFFSET(AM_MEDIA_TYPE, bFixedSizeSamples),
        QM_OFFSET(AM_MEDIA_TYPE, bTemporalCompression),
        QM_OFFSET(AM_MEDIA_TYPE, lSampleSize),
        QM_OFFSET(AM_MEDIA_TYPE, formattype),
        QM_OFFSET(AM_MEDIA_TYPE, pUnk),
        QM_OFFSET(AM_MEDIA_TYPE, cbFormat),
        QM_OFFSET(AM_MEDIA_TYPE, pbFormat),
        QM_OFFSET(BITMAPINFOHEADER, biSize),
        QM_OFFSET(BITMAPINFOHEADER, biWidth),
        QM_OFFSET(BITMAPINFOHEADER, biHeight),
        QM_OFFSET(BITMAPINFOHEADER, biPlanes),
        QM_OFFSET(BITMAPINFOHEADER, biBitCount),
        QM_OFFSET(BITMAPINFOHEADER, biCompression),
        QM_OFFSET(BITMAPINFOHEADER, biSizeImage),
        QM_OFFSET(BITMAPINFOHEADER, biXPelsPerMeter),
        QM_OFFSET(BITMAPINFOHEADER, biYPelsPerMeter),
        QM_OFFSET(BITMAPINFOHEADER, biClrUsed),
        QM_OFFSET(BITMAPINFOHEADER, biClrImportant),
        QM_OFFSET(VIDEOINFOHEADER, rcSource),
        QM_OFFSET(VIDEOINFOHEADER, rcTarget),
        QM_OFFSET(VIDEOINFOHEADER, dwBitRate),
        QM_OFFSET(VIDEOINFOHEADER, dwBitErrorRate),
        QM_OFFSET(VIDEOINFOHEADER, AvgTimePerFrame),
        QM_OFFSET(VIDEOINFOHEADER, bmiHeader),
        QM_OFFSET(VIDEOINFOHEADER2, rcSource),
        QM_OFFSET(VIDEOINFOHEADER2, rcTarget),
        QM_OFFSET(VIDEOINFOHEADER2, dwBitRate),
        QM_OFFSET(VIDEOINFOHEADER2, dwBitErrorRate),
        QM_OFFSET(VIDEOINFOHEADER2, AvgTimePerFrame),
        QM_OFFSET(VIDEOINFOHEADER2, dwInterlaceFlags),
        QM_OFFSET(VIDEOINFOHEADER2, dwCopyProtectFlags),
        QM_OFFSET(VIDEOINFOHEADER2, dwPictAspectRatioX),
        QM_OFFSET(VIDEOINFOHEADER2, dwPictAspectRatioY),
        QM_OFFSET(VIDEOINFOHEADER2, dwControlFlags),
        QM_OFFSET(VIDEOINFOHEADER2, dwReserved2),
        QM_OFFSET(VIDEOINFOHEADER2, bmiHeader),
        QM_OFFSET(MPEG1VIDEOINFO, hdr),
        QM_OFFSET(MPEG1VIDEOINFO, dwStartTimeCode),
        QM_OFFSET(MPEG1VIDEOINFO, cbSequenceHeader),
        QM_OFFSET(MPEG1VIDEOINFO, bSequenceHeader),
        QM_OFFSET(MPEG2VIDEOINFO, hdr),
        QM_OFFSET(MPEG2VIDEOINFO, dwStartTimeCode),
        QM_OFFSET(MPEG2VIDEOINFO, cbSequenceHeader),
        QM_OFFSET(MPEG2VIDEOINFO, dwProfile),
        QM_OFFSET(MPEG2VIDEOINFO, dwLevel),
        QM_OFFSET(MPEG2VIDEOINFO, dwFlags),
        QM_OFFSET(MPEG2VIDEOINFO, dwSequenceHeader),
        QM_OFFSET(WAVEFORMATEX, wFormatTag),
        QM_OFFSET(WAVEFORMATEX, nChannels),
        QM_OFFSET(WAVEFORMATEX, nSamplesPerSec),
        QM_OFFSET(WAVEFORMATEX, nAvgBytesPerSec),
        QM_OFFSET(WAVEFORMATEX, nBlockAlign),
        QM_OFFSET(WAVEFORMATEX, wBitsPerSample),
        QM_OFFSET(WAVEFORMATEX, cbSize),
        QM_OFFSET(WAVEFORMATEXTENSIBLE, Format),
        QM_OFFSET(WAVEFORMATEXTENSIBLE, Samples),
        QM_OFFSET(WAVEFORMATEXTENSIBLE, dwChannelMask),
        QM_OFFSET(WAVEFORMATEXTENSIBLE, SubFormat),
        QM_OFFSET(MPEG1WAVEFORMAT, wfx),
        QM_OFFSET(MPEG1WAVEFORMAT, fwHeadLayer),
        QM_OFFSET(MPEG1WAVEFORMAT, dwHeadBitrate),
        QM_OFFSET(MPEG1WAVEFORMAT, fwHeadMode),
        QM_OFFSET(MPEG1WAVEFORMAT, fwHeadModeExt),
        QM_OFFSET(MPEG1WAVEFORMAT, wHeadEmphasis),
        QM_OFFSET(MPEG1WAVEFORMAT, fwHeadFlags),
        QM_OFFSET(MPEG1WAVEFORMAT, dwPTSLow),
        QM_OFFSET(MPEG1WAVEFORMAT, dwPTSHigh),
        QM_OFFSET(DVINFO, dwDVAAuxSrc),
        QM_OFFSET(DVINFO, dwDVAAuxCtl),
        QM_OFFSET(DVINFO, dwDVAAuxSrc1),
        QM_OFFSET(DVINFO, dwDVAAuxCtl1),
        QM_OFFSET(DVINFO, dwDVVAuxSrc),
        QM_OFFSET(DVINFO, dwDVVAuxCtl),
        QM_OFFSET(DVINFO, dwDVReserved),
        QM_OFFSET(ANALOGVIDEOINFO, rcSource),
        QM_OFFSET(ANALOGVIDEOINFO, rcTarget),
        QM_OFFSET(ANALOGVIDEOINFO, dwActiveWidth),
        QM_OFFSET(ANALOGVIDEOINFO, dwActiveHeight),
        QM_OFFSET(ANALOGVIDEOINFO, AvgTimePerFrame),
        QM_OFFSET(ALLOCATOR_PROPERTIES, cBuffers),
        QM_OFFSET(ALLOCATOR_PROPERTIES, cbBuffer),
        QM_OFFSET(ALLOCATOR_PROPERTIES, cbAlign),
        QM_OFFSET(ALLOCATOR_PROPERTIES, cbPrefix),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, cbData),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, dwTypeSpecificFlags),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, dwSampleFlags),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, lActual),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, tStart),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, tStop),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, dwStreamId),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, pMediaType),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, pbBuffer),
        QM_OFFSET(AM_SAMPLE2_PROPERTIES, cbBuffer),
    };
    return offsets;
}

#define QM_CONST(name) \
    { #name, uint32_t(name) }
const std::map<std::string, uint32_t>& Constants() {
    static const std::map<std::string, uint32_t> constants = {
        QM_CONST(S_OK),
        QM_CONST(S_FALSE),
        QM_CONST(E_POINTER),
        QM_CONST(E_INVALIDARG),
        QM_CONST(E_OUTOFMEMORY),
        QM_CONST(E_UNEXPECTED),
        QM_CONST(E_NOTIMPL),
        QM_CONST(E_FAIL),
        QM_CONST(E_NOINTERFACE),
        QM_CONST(VFW_E_NOT_COMMITTED),
        QM_CONST(VFW_E_WRONG_STATE),
        QM_CONST(VFW_E_TYPE_NOT_ACCEPTED),
        QM_CONST(VFW_E_SAMPLE_REJECTED),
        QM_CONST(VFW_E_NOT_CONNECTED),
        QM_CONST(VFW_E_ALREADY_CONNECTED),
        QM_CONST(VFW_E_BADALIGN),
        QM_CONST(VFW_E_ALREADY_COMMITTED),
        QM_CONST(VFW_E_BUFFERS_OUTSTANDING),
        QM_CONST(VFW_E_SIZENOTSET),
        QM_CONST(VFW_E_TIMEOUT),
        QM_CONST(VFW_E_BUFFER_OVERFLOW),
        QM_CONST(VFW_E_SAMPLE_TIME_NOT_SET),
        QM_CONST(VFW_E_MEDIA_TIME_NOT_SET),
        QM_CONST(VFW_E_NO_ALLOCATOR),
        QM_CONST(VFW_E_RUNTIME_ERROR),
        QM_CONST(VFW_E_NO_ACCEPTABLE_TYPES),
        QM_CONST(VFW_E_INVALID_DIRECTION),
        QM_CONST(VFW_E_NOT_STOPPED),
        QM_CONST(VFW_E_ENUM_OUT_OF_SYNC),
        QM_CONST(VFW_E_NO_TRANSPORT),
        QM_CONST(VFW_S_NO_MORE_ITEMS),
        QM_CONST(VFW_S_NO_STOP_TIME),
        QM_CONST(VFW_S_STATE_INTERMEDIATE),
        QM_CONST(VFW_E_NEED_OWNER),
        QM_CONST(VFW_E_NOT_FOUND),
        QM_CONST(VFW_E_CANNOT_CONNECT),
        QM_CONST(VFW_E_NOT_IN_GRAPH),
        QM_CONST(EC_COMPLETE),
        QM_CONST(EC_USERABORT),
        QM_CONST(EC_ERRORABORT),
        QM_CONST(EC_QUALITY_CHANGE),
        QM_CONST(EC_STREAM_ERROR_STOPPED),
        QM_CONST(EC_STREAM_ERROR_STILLPLAYING),
        QM_CONST(AM_SAMPLE_SPLICEPOINT),
        QM_CONST(AM_SAMPLE_PREROLL),
        QM_CONST(AM_SAMPLE_DATADISCONTINUITY),
        QM_CONST(AM_SAMPLE_TYPECHANGED),
        QM_CONST(AM_SAMPLE_TIMEVALID),
        QM_CONST(AM_SAMPLE_TIMEDISCONTINUITY),
        QM_CONST(AM_SAMPLE_FLUSH_ON_PAUSE),
        QM_CONST(AM_SAMPLE_STOPVALID),
        QM_CONST(AM_SAMPLE_ENDOFSTREAM),
        QM_CONST(AMINTERLACE_IsInterlaced),
        QM_CONST(AMINTERLACE_1FieldPerSample),
        QM_CONST(AMINTERLACE_Field1First),
        QM_CONST(AMINTERLACE_FieldPatternMask),
        QM_CONST(AMINTERLACE_DisplayModeMask),
        QM_CONST(AM_GBF_PREVFRAMESKIPPED),
        QM_CONST(AM_GBF_NOTASYNCPOINT),
        QM_CONST(AM_GBF_NOWAIT),
        QM_CONST(State_Stopped),
        QM_CONST(State_Paused),
        QM_CONST(State_Running),
        QM_CONST(PINDIR_INPUT),
        QM_CONST(PINDIR_OUTPUT),
        QM_CONST(WAVE_FORMAT_PCM),
        QM_CONST(WAVE_FORMAT_EXTENSIBLE),
        QM_CONST(BI_RGB),
        QM_CONST(SPEAKER_FRONT_LEFT),
        QM_CONST(SPEAKER_FRONT_RIGHT),
        QM_CONST(SPEAKER_FRONT_CENTER),
        QM_CONST(SPEAKER_LOW_FREQUENCY),
        QM_CONST(SPEAKER_BACK_LEFT),
        QM_CONST(SPEAKER_BACK_RIGHT),
        QM_CONST(SPEAKER_BACK_CENTER),
        QM_CONST(MAX_PIN_NAME),
        QM_CONST(MAX_FILTER_NAME),
        QM_CONST(AM_SAMPLE_MEDIATIMEVALID),
        QM_CONST(AM_VIDEO_FLAG_FIELD_MASK),
        QM_CONST(AM_VIDEO_FLAG_I_SAMPLE),
        QM_CONST(AM_VIDEO_FLAG_P_SAMPLE),
        QM_CONST(AM_VIDEO_FLAG_B_SAMPLE),
        QM_CONST(AM_VIDEO_FLAG_IPB_MASK),
        QM_CONST(AM_VIDEO_FLAG_REPEAT_FIELD),
    };
    return constants;
}

// The vtable slot of a virtual member function: with the Itanium C++ ABI a pointer to a virtual
// member holds 1 + the byte offset of its slot.
template <typename F>
long Slot(F f) {
    struct Raw {
        uintptr_t ptr;
        ptrdiff_t adj;
    } raw;
    static_assert(sizeof(F) == sizeof(Raw));
    std::memcpy(&raw, &f, sizeof(raw));
    if ((raw.ptr & 1) == 0) return -1;  // not virtual
    return long((raw.ptr - 1) / sizeof(void*));
}

#define QM_M(iface, method) \
    { #method, Slot(&iface::method) }
using SlotList = std::vector<std::pair<std::string, long>>;
#define QM_UNKNOWN(iface) QM_M(iface, QueryInterface), QM_M(iface, AddRef), QM_M(iface, Release)
#define QM_SAMPLE(iface)                                                                        \
    QM_UNKNOWN(iface), QM_M(iface, GetPointer), QM_M(iface, GetSize), QM_M(iface, GetTime),     \
        QM_M(iface, SetTime), QM_M(iface, IsSyncPoint), QM_M(iface, SetSyncPoint),              \
        QM_M(iface, IsPreroll), QM_M(iface, SetPreroll), QM_M(iface, GetActualDataLength),      \
        QM_M(iface, SetActualDataLength), QM_M(iface, GetMediaType), QM_M(iface, SetMediaType), \
        QM_M(iface, IsDiscontinuity), QM_M(iface, SetDiscontinuity), QM_M(iface, GetMediaTime), \
        QM_M(iface, SetMediaTime)
#define QM_FILTER(iface)                                                               \
    QM_UNKNOWN(iface), QM_M(iface, GetClassID), QM_M(iface, Stop), QM_M(iface, Pause), \
        QM_M(iface, Run), QM_M(iface, GetState), QM_M(iface, SetSyncSource),           \
        QM_M(iface, GetSyncSource)
#define QM_ALLOC(iface)                                                        \
    QM_UNKNOWN(iface), QM_M(iface, SetProperties), QM_M(iface, GetProperties), \
        QM_M(iface, Commit), QM_M(iface, Decommit), QM_M(iface, GetBuffer),    \
        QM_M(iface, ReleaseBuffer)
#define QM_NSS(iface)                                                                             \
    QM_UNKNOWN(iface), QM_M(iface, GetLength), QM_M(iface, SetLength), QM_M(iface, GetMaxLength), \
        QM_M(iface, GetBuffer), QM_M(iface, GetBufferAndLength)

const std::map<std::string, SlotList>& Vtables() {
    static const std::map<std::string, SlotList> vtables = {
        {"IUnknown", {QM_UNKNOWN(IUnknown)}},
        {"IPersist", {QM_UNKNOWN(IPersist), QM_M(IPersist, GetClassID)}},
        {"IMediaFilter", {QM_FILTER(IMediaFilter)}},
        {"IBaseFilter",
         {QM_FILTER(IBaseFilter), QM_M(IBaseFilter, EnumPins), QM_M(IBaseFilter, FindPin),
          QM_M(IBaseFilter, QueryFilterInfo), QM_M(IBaseFilter, JoinFilterGraph),
          QM_M(IBaseFilter, QueryVendorInfo)}},
        {"IPin",
         {QM_UNKNOWN(IPin), QM_M(IPin, Connect), QM_M(IPin, ReceiveConnection),
          QM_M(IPin, Disconnect), QM_M(IPin, ConnectedTo), QM_M(IPin, ConnectionMediaType),
          QM_M(IPin, QueryPinInfo), QM_M(IPin, QueryDirection), QM_M(IPin, QueryId),
          QM_M(IPin, QueryAccept), QM_M(IPin, EnumMediaTypes), QM_M(IPin, QueryInternalConnections),
          QM_M(IPin, EndOfStream), QM_M(IPin, BeginFlush), QM_M(IPin, EndFlush),
          QM_M(IPin, NewSegment)}},
        {"IEnumPins",
         {QM_UNKNOWN(IEnumPins), QM_M(IEnumPins, Next), QM_M(IEnumPins, Skip),
          QM_M(IEnumPins, Reset), QM_M(IEnumPins, Clone)}},
        {"IEnumMediaTypes",
         {QM_UNKNOWN(IEnumMediaTypes), QM_M(IEnumMediaTypes, Next), QM_M(IEnumMediaTypes, Skip),
          QM_M(IEnumMediaTypes, Reset), QM_M(IEnumMediaTypes, Clone)}},
        {"IMemInputPin",
         {QM_UNKNOWN(IMemInputPin), QM_M(IMemInputPin, GetAllocator),
          QM_M(IMemInputPin, NotifyAllocator), QM_M(IMemInputPin, GetAllocatorRequirements),
          QM_M(IMemInputPin, Receive), QM_M(IMemInputPin, ReceiveMultiple),
          QM_M(IMemInputPin, ReceiveCanBlock)}},
        {"IMemAllocator", {QM_ALLOC(IMemAllocator)}},
        {"IMemAllocatorCallbackTemp",
         {QM_ALLOC(IMemAllocatorCallbackTemp), QM_M(IMemAllocatorCallbackTemp, SetNotify),
          QM_M(IMemAllocatorCallbackTemp, GetFreeCount)}},
        {"IMemAllocatorNotifyCallbackTemp",
         {QM_UNKNOWN(IMemAllocatorNotifyCallbackTemp),
          QM_M(IMemAllocatorNotifyCallbackTemp, NotifyRelease)}},
        {"IMediaSample", {QM_SAMPLE(IMediaSample)}},
        {"IMediaSample2",
         {QM_SAMPLE(IMediaSample2), QM_M(IMediaSample2, GetProperties),
          QM_M(IMediaSample2, SetProperties)}},
        {"IQualityControl",
         {QM_UNKNOWN(IQualityControl), QM_M(IQualityControl, Notify),
          QM_M(IQualityControl, SetSink)}},
        {"IAMovieSetup",
         {QM_UNKNOWN(IAMovieSetup), QM_M(IAMovieSetup, Register), QM_M(IAMovieSetup, Unregister)}},
        {"IReferenceClock",
         {QM_UNKNOWN(IReferenceClock), QM_M(IReferenceClock, GetTime),
          QM_M(IReferenceClock, AdviseTime), QM_M(IReferenceClock, AdvisePeriodic),
          QM_M(IReferenceClock, Unadvise)}},
        {"IFilterGraph",
         {QM_UNKNOWN(IFilterGraph), QM_M(IFilterGraph, AddFilter), QM_M(IFilterGraph, RemoveFilter),
          QM_M(IFilterGraph, EnumFilters), QM_M(IFilterGraph, FindFilterByName),
          QM_M(IFilterGraph, ConnectDirect), QM_M(IFilterGraph, Reconnect),
          QM_M(IFilterGraph, Disconnect), QM_M(IFilterGraph, SetDefaultSyncSource)}},
        {"INSSBuffer", {QM_NSS(INSSBuffer)}},
        {"INSSBuffer2",
         {QM_NSS(INSSBuffer2), QM_M(INSSBuffer2, GetSampleProperties),
          QM_M(INSSBuffer2, SetSampleProperties)}},
        {"INSSBuffer3",
         {QM_NSS(INSSBuffer3), QM_M(INSSBuffer3, GetSampleProperties),
          QM_M(INSSBuffer3, SetSampleProperties), QM_M(INSSBuffer3, SetProperty),
          QM_M(INSSBuffer3, GetProperty)}},
        {"INSSBuffer4",
         {QM_NSS(INSSBuffer4), QM_M(INSSBuffer4, GetSampleProperties),
          QM_M(INSSBuffer4, SetSampleProperties), QM_M(INSSBuffer4, SetProperty),
          QM_M(INSSBuffer4, GetProperty), QM_M(INSSBuffer4, GetPropertyCount),
          QM_M(INSSBuffer4, GetPropertyByIndex)}},
        {"IMediaBuffer",
         {QM_UNKNOWN(IMediaBuffer), QM_M(IMediaBuffer, SetLength), QM_M(IMediaBuffer, GetMaxLength),
          QM_M(IMediaBuffer, GetBufferAndLength)}},
        {"IMFMediaBuffer",
         {QM_UNKNOWN(IMFMediaBuffer), QM_M(IMFMediaBuffer, Lock), QM_M(IMFMediaBuffer, Unlock),
          QM_M(IMFMediaBuffer, GetCurrentLength), QM_M(IMFMediaBuffer, SetCurrentLength),
          QM_M(IMFMediaBuffer, GetMaxLength)}},
    };
    return vtables;
}

// Rows we deliberately do not declare: the graph-builder and automation interfaces, which the
// filters never call.
const std::set<std::string> kNotDeclared = {"IMediaControl", "IGraphBuilder"};

class SdkFacts : public ::testing::Test {
protected:
    void SetUp() override {
        const auto path = qm::test::SharedDir() / "windows-sdk-facts.tsv";
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
        facts = ReadFacts(path);
        ASSERT_GT(facts.size(), 200u);
    }
    std::vector<Fact> facts;
};

TEST_F(SdkFacts, GuidsSizesOffsetsAndConstantsMatch) {
    int checked = 0;
    for (const Fact& f : facts) {
        SCOPED_TRACE(f.kind + " " + f.name + " " + f.value);
        if (f.kind == "guid") {
            auto it = Guids().find(f.name);
            ASSERT_NE(it, Guids().end()) << "not declared";
            EXPECT_EQ(qm::GuidToString(*it->second), f.value);
        } else if (f.kind == "size") {
            auto it = Sizes().find(f.name);
            ASSERT_NE(it, Sizes().end()) << "not declared";
            EXPECT_EQ(it->second, std::stoul(f.value));
        } else if (f.kind == "offset") {
            auto it = Offsets().find(f.name);
            ASSERT_NE(it, Offsets().end()) << "not declared";
            EXPECT_EQ(it->second, std::stoul(f.value));
        } else if (f.kind == "const") {
            auto it = Constants().find(f.name);
            ASSERT_NE(it, Constants().end()) << "not declared";
            EXPECT_EQ(it->second, uint32_t(std::stoul(f.value, nullptr, 16)));
        } else {
            continue;
        }
        ++checked;
    }
    EXPECT_GT(checked, 250);
}

TEST_F(SdkFacts, InterfaceMethodsSitInTheSdkVtableSlots) {
    int checked = 0;
    for (const Fact& f : facts) {
        if (f.kind != "vtable" || kNotDeclared.count(f.name)) continue;
        SCOPED_TRACE(f.name);
        auto it = Vtables().find(f.name);
        ASSERT_NE(it, Vtables().end()) << "interface not in the test table";
        std::istringstream methods(f.value);
        std::vector<std::string> expected;
        for (std::string m; methods >> m;) expected.push_back(m);
        // Our list in slot order must be the SDK's list.
        std::vector<std::pair<long, std::string>> ours;
        for (const auto& [name, slot] : it->second) ours.push_back({slot, name});
        std::sort(ours.begin(), ours.end());
        ASSERT_EQ(ours.size(), expected.size());
        for (size_t i = 0; i < ours.size(); ++i) {
            EXPECT_EQ(ours[i].first, long(i)) << ours[i].second;
            EXPECT_EQ(ours[i].second, expected[i]) << "slot " << i;
        }
        ++checked;
    }
    EXPECT_EQ(checked, int(Vtables().size()));
}

}  // namespace
