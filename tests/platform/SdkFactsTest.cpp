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

// QM_FOR_EACH(f, t, a, b, ...) expands to f(t, a), f(t, b), ...: the tables below name each
// declaration once and the macros turn the name into its string and its value.
#define QM_PARENS ()
#define QM_EXPAND(...) QM_EXPAND3(QM_EXPAND3(QM_EXPAND3(QM_EXPAND3(__VA_ARGS__))))
#define QM_EXPAND3(...) QM_EXPAND2(QM_EXPAND2(QM_EXPAND2(QM_EXPAND2(__VA_ARGS__))))
#define QM_EXPAND2(...) QM_EXPAND1(QM_EXPAND1(QM_EXPAND1(QM_EXPAND1(__VA_ARGS__))))
#define QM_EXPAND1(...) __VA_ARGS__
#define QM_FOR_EACH(f, t, ...) __VA_OPT__(QM_EXPAND(QM_FOR_EACH_STEP(f, t, __VA_ARGS__)))
#define QM_FOR_EACH_STEP(f, t, a, ...) \
    f(t, a) __VA_OPT__(, QM_FOR_EACH_AGAIN QM_PARENS(f, t, __VA_ARGS__))
#define QM_FOR_EACH_AGAIN() QM_FOR_EACH_STEP

#define QM_GUID(_, name) &name
#define QM_SIZE(_, type) sizeof(type)
#define QM_OFFSET(type, field) offsetof(type, field)
#define QM_CONST(_, name) uint32_t(name)

// Names are stringized before expansion: some constants are macros.
std::vector<std::string> tableErrors;
template <class V>
void Add(std::map<std::string, V>& map, const std::string& prefix, const std::string& names,
         const std::vector<V>& values) {
    std::vector<std::string> split;
    std::istringstream in(names);
    for (std::string name; std::getline(in >> std::ws, name, ',');)
        split.push_back(name.substr(0, name.find_last_not_of(" \n") + 1));
    if (split.size() != values.size()) tableErrors.push_back(prefix + names);
    for (size_t i = 0; i < split.size() && i < values.size(); ++i)
        map[prefix + split[i]] = values[i];
}
#define QM_TABLE(map, prefix, f, t, ...) \
    Add(map, prefix, #__VA_ARGS__, {QM_FOR_EACH(f, t, __VA_ARGS__)})
#define QM_OFFSETS(map, type, ...) QM_TABLE(map, "offset " #type ".", QM_OFFSET, type, __VA_ARGS__)

const std::map<std::string, const GUID*> kGuids = [] {
    std::map<std::string, const GUID*> m;
    QM_TABLE(m, "", QM_GUID, _, GUID_NULL, IID_IUnknown, IID_IPersist, IID_IMediaFilter,
             IID_IBaseFilter, IID_IPin, IID_IEnumPins, IID_IEnumMediaTypes, IID_IMemInputPin,
             IID_IMemAllocator, IID_IMemAllocatorCallbackTemp, IID_IMemAllocatorNotifyCallbackTemp,
             IID_IMediaSample, IID_IMediaSample2, IID_IQualityControl, IID_IAMovieSetup,
             IID_IReferenceClock, IID_IFilterGraph, IID_INSSBuffer, IID_INSSBuffer2,
             IID_INSSBuffer3, IID_INSSBuffer4, IID_IMediaBuffer, IID_IMFMediaBuffer,
             CLSID_MemoryAllocator, MEDIATYPE_Video, MEDIATYPE_Audio, MEDIATYPE_Stream,
             MEDIASUBTYPE_MPEG2_VIDEO, MEDIASUBTYPE_MPEG1Payload, MEDIASUBTYPE_MPEG1Video,
             MEDIASUBTYPE_MPEG1AudioPayload, MEDIASUBTYPE_MPEG2_AUDIO, MEDIASUBTYPE_DOLBY_AC3,
             MEDIASUBTYPE_DVD_LPCM_AUDIO, MEDIASUBTYPE_PCM, MEDIASUBTYPE_IEEE_FLOAT,
             MEDIASUBTYPE_MPEG1System, MEDIASUBTYPE_MPEG2_PROGRAM, MEDIASUBTYPE_MPEG2_TRANSPORT,
             MEDIASUBTYPE_YUY2, MEDIASUBTYPE_YVYU, MEDIASUBTYPE_UYVY, MEDIASUBTYPE_NV12,
             MEDIASUBTYPE_IYUV, MEDIASUBTYPE_YV12, MEDIASUBTYPE_YVU9, MEDIASUBTYPE_Y411,
             MEDIASUBTYPE_Y41P, MEDIASUBTYPE_RGB1, MEDIASUBTYPE_RGB4, MEDIASUBTYPE_RGB8,
             MEDIASUBTYPE_RGB555, MEDIASUBTYPE_RGB565, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32,
             MEDIASUBTYPE_ARGB32, MEDIASUBTYPE_dvsd, MEDIASUBTYPE_MJPG, FORMAT_VideoInfo,
             FORMAT_VideoInfo2, FORMAT_MPEGVideo, FORMAT_MPEG2Video, FORMAT_DvInfo,
             FORMAT_AnalogVideo, FORMAT_WaveFormatEx, FORMAT_None);
    return m;
}();

// Sizes and field offsets, keyed "size TYPE" and "offset TYPE.field".
const std::map<std::string, size_t> kLayout = [] {
    std::map<std::string, size_t> m;
    QM_TABLE(m, "size ", QM_SIZE, _, GUID, RECT, AM_MEDIA_TYPE, BITMAPINFOHEADER, VIDEOINFOHEADER,
             VIDEOINFOHEADER2, MPEG1VIDEOINFO, MPEG2VIDEOINFO, WAVEFORMATEX, WAVEFORMATEXTENSIBLE,
             MPEG1WAVEFORMAT, DVINFO, ANALOGVIDEOINFO, ALLOCATOR_PROPERTIES, AM_SAMPLE2_PROPERTIES,
             REFERENCE_TIME, LONG, DWORD, BOOL, WCHAR);
    QM_OFFSETS(m, AM_MEDIA_TYPE, majortype, subtype, bFixedSizeSamples, bTemporalCompression,
               lSampleSize, formattype, pUnk, cbFormat, pbFormat);
    QM_OFFSETS(m, BITMAPINFOHEADER, biSize, biWidth, biHeight, biPlanes, biBitCount, biCompression,
               biSizeImage, biXPelsPerMeter, biYPelsPerMeter, biClrUsed, biClrImportant);
    QM_OFFSETS(m, VIDEOINFOHEADER, rcSource, rcTarget, dwBitRate, dwBitErrorRate, AvgTimePerFrame,
               bmiHeader);
    QM_OFFSETS(m, VIDEOINFOHEADER2, rcSource, rcTarget, dwBitRate, dwBitErrorRate, AvgTimePerFrame,
               dwInterlaceFlags, dwCopyProtectFlags, dwPictAspectRatioX, dwPictAspectRatioY,
               dwControlFlags, dwReserved2, bmiHeader);
    QM_OFFSETS(m, MPEG1VIDEOINFO, hdr, dwStartTimeCode, cbSequenceHeader, bSequenceHeader);
    QM_OFFSETS(m, MPEG2VIDEOINFO, hdr, dwStartTimeCode, cbSequenceHeader, dwProfile, dwLevel,
               dwFlags, dwSequenceHeader);
    QM_OFFSETS(m, WAVEFORMATEX, wFormatTag, nChannels, nSamplesPerSec, nAvgBytesPerSec, nBlockAlign,
               wBitsPerSample, cbSize);
    QM_OFFSETS(m, WAVEFORMATEXTENSIBLE, Format, Samples, dwChannelMask, SubFormat);
    QM_OFFSETS(m, MPEG1WAVEFORMAT, wfx, fwHeadLayer, dwHeadBitrate, fwHeadMode, fwHeadModeExt,
               wHeadEmphasis, fwHeadFlags, dwPTSLow, dwPTSHigh);
    QM_OFFSETS(m, DVINFO, dwDVAAuxSrc, dwDVAAuxCtl, dwDVAAuxSrc1, dwDVAAuxCtl1, dwDVVAuxSrc,
               dwDVVAuxCtl, dwDVReserved);
    QM_OFFSETS(m, ANALOGVIDEOINFO, rcSource, rcTarget, dwActiveWidth, dwActiveHeight,
               AvgTimePerFrame);
    QM_OFFSETS(m, ALLOCATOR_PROPERTIES, cBuffers, cbBuffer, cbAlign, cbPrefix);
    QM_OFFSETS(m, AM_SAMPLE2_PROPERTIES, cbData, dwTypeSpecificFlags, dwSampleFlags, lActual,
               tStart, tStop, dwStreamId, pMediaType, pbBuffer, cbBuffer);
    return m;
}();

const std::map<std::string, uint32_t> kConstants = [] {
    std::map<std::string, uint32_t> m;
    QM_TABLE(m, "", QM_CONST, _, S_OK, S_FALSE, E_POINTER, E_INVALIDARG, E_OUTOFMEMORY,
             E_UNEXPECTED, E_NOTIMPL, E_FAIL, E_NOINTERFACE, VFW_E_NOT_COMMITTED, VFW_E_WRONG_STATE,
             VFW_E_TYPE_NOT_ACCEPTED, VFW_E_SAMPLE_REJECTED, VFW_E_NOT_CONNECTED,
             VFW_E_ALREADY_CONNECTED, VFW_E_BADALIGN, VFW_E_ALREADY_COMMITTED,
             VFW_E_BUFFERS_OUTSTANDING, VFW_E_SIZENOTSET, VFW_E_TIMEOUT, VFW_E_BUFFER_OVERFLOW,
             VFW_E_SAMPLE_TIME_NOT_SET, VFW_E_MEDIA_TIME_NOT_SET, VFW_E_NO_ALLOCATOR,
             VFW_E_RUNTIME_ERROR, VFW_E_NO_ACCEPTABLE_TYPES, VFW_E_INVALID_DIRECTION,
             VFW_E_NOT_STOPPED, VFW_E_ENUM_OUT_OF_SYNC, VFW_E_NO_TRANSPORT, VFW_S_NO_MORE_ITEMS,
             VFW_S_NO_STOP_TIME, VFW_S_STATE_INTERMEDIATE, VFW_E_NEED_OWNER, VFW_E_NOT_FOUND,
             VFW_E_CANNOT_CONNECT, VFW_E_NOT_IN_GRAPH, EC_COMPLETE, EC_USERABORT, EC_ERRORABORT,
             EC_QUALITY_CHANGE, EC_STREAM_ERROR_STOPPED, EC_STREAM_ERROR_STILLPLAYING,
             AM_SAMPLE_SPLICEPOINT, AM_SAMPLE_PREROLL, AM_SAMPLE_DATADISCONTINUITY,
             AM_SAMPLE_TYPECHANGED, AM_SAMPLE_TIMEVALID, AM_SAMPLE_TIMEDISCONTINUITY,
             AM_SAMPLE_FLUSH_ON_PAUSE, AM_SAMPLE_STOPVALID, AM_SAMPLE_ENDOFSTREAM,
             AMINTERLACE_IsInterlaced, AMINTERLACE_1FieldPerSample, AMINTERLACE_Field1First,
             AMINTERLACE_FieldPatternMask, AMINTERLACE_DisplayModeMask, AM_GBF_PREVFRAMESKIPPED,
             AM_GBF_NOTASYNCPOINT, AM_GBF_NOWAIT, State_Stopped, State_Paused, State_Running,
             PINDIR_INPUT, PINDIR_OUTPUT, WAVE_FORMAT_PCM, WAVE_FORMAT_EXTENSIBLE, BI_RGB,
             SPEAKER_FRONT_LEFT, SPEAKER_FRONT_RIGHT, SPEAKER_FRONT_CENTER, SPEAKER_LOW_FREQUENCY,
             SPEAKER_BACK_LEFT, SPEAKER_BACK_RIGHT, SPEAKER_BACK_CENTER, MAX_PIN_NAME,
             MAX_FILTER_NAME, AM_SAMPLE_MEDIATIMEVALID, AM_VIDEO_FLAG_FIELD_MASK,
             AM_VIDEO_FLAG_I_SAMPLE, AM_VIDEO_FLAG_P_SAMPLE, AM_VIDEO_FLAG_B_SAMPLE,
             AM_VIDEO_FLAG_IPB_MASK, AM_VIDEO_FLAG_REPEAT_FIELD);
    return m;
}();

// The vtable slot of a virtual member function: with the Itanium C++ ABI a pointer to a virtual
// member holds 1 + the byte offset of its slot.
template <typename F>
long SlotOf(F f) {
    struct Raw {
        uintptr_t ptr;
        ptrdiff_t adj;
    } raw;
    static_assert(sizeof(F) == sizeof(Raw));
    std::memcpy(&raw, &f, sizeof(raw));
    if ((raw.ptr & 1) == 0) return -1;  // not virtual
    return long((raw.ptr - 1) / sizeof(void*));
}
// QueryInterface by its COM signature: the SDK headers add a template overload beside it.
template <class I, typename F>
long Slot(F f) {
    return SlotOf(f);
}
template <class I>
long Slot(HRESULT (STDMETHODCALLTYPE I::*f)(REFIID, void**)) {
    return SlotOf(f);
}

#define QM_M(iface, method) \
    { #method, Slot < iface>(&iface::method) }
#define QM_VTABLE(iface, ...)                     \
    {                                             \
#iface, {                                 \
            QM_FOR_EACH(QM_M, iface, __VA_ARGS__) \
        }                                         \
    }
#define QM_UNKNOWN QueryInterface, AddRef, Release
#define QM_FILTER QM_UNKNOWN, GetClassID, Stop, Pause, Run, GetState, SetSyncSource, GetSyncSource
#define QM_ALLOC \
    QM_UNKNOWN, SetProperties, GetProperties, Commit, Decommit, GetBuffer, ReleaseBuffer
#define QM_SAMPLE                                                                            \
    QM_UNKNOWN, GetPointer, GetSize, GetTime, SetTime, IsSyncPoint, SetSyncPoint, IsPreroll, \
        SetPreroll, GetActualDataLength, SetActualDataLength, GetMediaType, SetMediaType,    \
        IsDiscontinuity, SetDiscontinuity, GetMediaTime, SetMediaTime
#define QM_NSS QM_UNKNOWN, GetLength, SetLength, GetMaxLength, GetBuffer, GetBufferAndLength
#define QM_NSS2 QM_NSS, GetSampleProperties, SetSampleProperties
#define QM_NSS3 QM_NSS2, SetProperty, GetProperty
#define QM_ENUM QM_UNKNOWN, Next, Skip, Reset, Clone

using SlotList = std::vector<std::pair<std::string, long>>;
const std::map<std::string, SlotList> kVtables = {
    QM_VTABLE(IUnknown, QM_UNKNOWN),
    QM_VTABLE(IPersist, QM_UNKNOWN, GetClassID),
    QM_VTABLE(IMediaFilter, QM_FILTER),
    QM_VTABLE(IBaseFilter, QM_FILTER, EnumPins, FindPin, QueryFilterInfo, JoinFilterGraph,
              QueryVendorInfo),
    QM_VTABLE(IPin, QM_UNKNOWN, Connect, ReceiveConnection, Disconnect, ConnectedTo,
              ConnectionMediaType, QueryPinInfo, QueryDirection, QueryId, QueryAccept,
              EnumMediaTypes, QueryInternalConnections, EndOfStream, BeginFlush, EndFlush,
              NewSegment),
    QM_VTABLE(IEnumPins, QM_ENUM),
    QM_VTABLE(IEnumMediaTypes, QM_ENUM),
    QM_VTABLE(IMemInputPin, QM_UNKNOWN, GetAllocator, NotifyAllocator, GetAllocatorRequirements,
              Receive, ReceiveMultiple, ReceiveCanBlock),
    QM_VTABLE(IMemAllocator, QM_ALLOC),
    QM_VTABLE(IMemAllocatorCallbackTemp, QM_ALLOC, SetNotify, GetFreeCount),
    QM_VTABLE(IMemAllocatorNotifyCallbackTemp, QM_UNKNOWN, NotifyRelease),
    QM_VTABLE(IMediaSample, QM_SAMPLE),
    QM_VTABLE(IMediaSample2, QM_SAMPLE, GetProperties, SetProperties),
    QM_VTABLE(IQualityControl, QM_UNKNOWN, Notify, SetSink),
    QM_VTABLE(IAMovieSetup, QM_UNKNOWN, Register, Unregister),
    QM_VTABLE(IReferenceClock, QM_UNKNOWN, GetTime, AdviseTime, AdvisePeriodic, Unadvise),
    QM_VTABLE(IFilterGraph, QM_UNKNOWN, AddFilter, RemoveFilter, EnumFilters, FindFilterByName,
              ConnectDirect, Reconnect, Disconnect, SetDefaultSyncSource),
    QM_VTABLE(INSSBuffer, QM_NSS),
    QM_VTABLE(INSSBuffer2, QM_NSS2),
    QM_VTABLE(INSSBuffer3, QM_NSS3),
    QM_VTABLE(INSSBuffer4, QM_NSS3, GetPropertyCount, GetPropertyByIndex),
    QM_VTABLE(IMediaBuffer, QM_UNKNOWN, SetLength, GetMaxLength, GetBufferAndLength),
    QM_VTABLE(IMFMediaBuffer, QM_UNKNOWN, Lock, Unlock, GetCurrentLength, SetCurrentLength,
              GetMaxLength)};

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
        ASSERT_TRUE(tableErrors.empty()) << tableErrors[0];
    }
    std::vector<Fact> facts;
};

TEST_F(SdkFacts, GuidsSizesOffsetsAndConstantsMatch) {
    int checked = 0;
    for (const Fact& f : facts) {
        SCOPED_TRACE(f.kind + " " + f.name + " " + f.value);
        if (f.kind == "guid") {
            auto it = kGuids.find(f.name);
            ASSERT_NE(it, kGuids.end()) << "not declared";
            EXPECT_EQ(qm::GuidToString(*it->second), f.value);
        } else if (f.kind == "size" || f.kind == "offset") {
            auto it = kLayout.find(f.kind + " " + f.name);
            ASSERT_NE(it, kLayout.end()) << "not declared";
            EXPECT_EQ(it->second, std::stoul(f.value));
        } else if (f.kind == "const") {
            auto it = kConstants.find(f.name);
            ASSERT_NE(it, kConstants.end()) << "not declared";
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
        auto it = kVtables.find(f.name);
        ASSERT_NE(it, kVtables.end()) << "interface not in the test table";
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
    EXPECT_EQ(checked, int(kVtables.size()));
}

}  // namespace
