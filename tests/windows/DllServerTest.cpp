// The DLL as a COM server under a real COM runtime: registration through regsvr32 and the filter
// mapper, creation through the registry, class factory rules and unloading.
#include <thread>

#include "VideoIO/MPEGDecoderFilters/FilterIds.h"
#include "tests/windows/WineTestSupport.h"

namespace qm::wintest {
namespace {

using namespace qm_MPEGDecoderFilters;

struct FilterClass {
    const CLSID* clsid;
    const char* name;
};
const FilterClass kFilters[] = {
    {&CLSID_MPEG2VideoDecoderFilter, "MPEG-2 video"},
    {&CLSID_MPEG4VideoDecoderFilter, "MPEG-4 video"},
    {&CLSID_MPEGAudioDecoderFilter, "MPEG audio"},
    {&CLSID_AC3AudioDecoderFilter, "AC-3"},
    {&CLSID_DVDAudioDecoderFilter, "DVD LPCM"},
};

bool ClassKeyExists(REFCLSID clsid) {
    wchar_t text[40];
    StringFromGUID2(clsid, text, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + text + L"\\InprocServer32";
    HKEY h = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    RegCloseKey(h);
    return true;
}

// The filters the mapper offers for one input type (any output), in merit order.
std::vector<CLSID> MatchingFilters(const GUID& major, const GUID& subtype) {
    std::vector<CLSID> found;
    ComPtr<IFilterMapper2> mapper;
    if (FAILED(Create(CLSID_FilterMapper2, IID_IFilterMapper2, mapper))) return found;
    const GUID types[2] = {major, subtype};
    ComPtr<IEnumMoniker> monikers;
    if (FAILED(mapper->EnumMatchingFilters(&monikers, 0, TRUE, MERIT_DO_NOT_USE + 1, TRUE, 1, types,
                                           nullptr, nullptr, FALSE, FALSE, 0, nullptr, nullptr,
                                           nullptr)) ||
        !monikers)
        return found;
    IMoniker* moniker = nullptr;
    while (monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                             reinterpret_cast<void**>(&bag)))) {
            VARIANT v;
            VariantInit(&v);
            CLSID clsid;
            if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && v.vt == VT_BSTR &&
                SUCCEEDED(CLSIDFromString(v.bstrVal, &clsid)))
                found.push_back(clsid);
            VariantClear(&v);
            bag->Release();
        }
        moniker->Release();
    }
    return found;
}

bool Contains(const std::vector<CLSID>& list, REFCLSID clsid) {
    for (const CLSID& c : list)
        if (IsEqualGUID(c, clsid)) return true;
    return false;
}

class DllServerTest : public WineTest {};

TEST_F(DllServerTest, RegistersFindsAndUnregistersEveryFilter) {
    ASSERT_EQ(RunRegsvr32(false), 0u) << "registering twice must succeed";
    for (const FilterClass& f : kFilters) EXPECT_TRUE(ClassKeyExists(*f.clsid)) << f.name;
    EXPECT_TRUE(Contains(MatchingFilters(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO),
                         CLSID_MPEG2VideoDecoderFilter));
    EXPECT_TRUE(Contains(MatchingFilters(MEDIATYPE_Video, MEDIASUBTYPE_MPEG1Payload),
                         CLSID_MPEG2VideoDecoderFilter));
    const auto mpegAudio = MatchingFilters(MEDIATYPE_Audio, MEDIASUBTYPE_MPEG1AudioPayload);
    EXPECT_TRUE(Contains(mpegAudio, CLSID_MPEGAudioDecoderFilter));
    EXPECT_FALSE(Contains(mpegAudio, CLSID_MPEG2VideoDecoderFilter));
    EXPECT_TRUE(Contains(MatchingFilters(MEDIATYPE_Audio, MEDIASUBTYPE_DVD_LPCM_AUDIO),
                         CLSID_DVDAudioDecoderFilter));

    ASSERT_EQ(RunRegsvr32(true), 0u);
    for (const FilterClass& f : kFilters) EXPECT_FALSE(ClassKeyExists(*f.clsid)) << f.name;
    EXPECT_FALSE(Contains(MatchingFilters(MEDIATYPE_Video, MEDIASUBTYPE_MPEG2_VIDEO),
                          CLSID_MPEG2VideoDecoderFilter));
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(Create(CLSID_MPEG2VideoDecoderFilter, IID_IBaseFilter, filter), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(RunRegsvr32(true), 0u) << "unregistering twice must succeed";
    ASSERT_EQ(RunRegsvr32(false), 0u);
}

// Through the registry, each class gives a filter whose input pin refuses a type of the wrong
// kind before anything is connected (identity and pins are checked in the decoder filter tests).
TEST_F(DllServerTest, EveryRegisteredClassCreatesAFilter) {
    for (const FilterClass& f : kFilters) {
        SCOPED_TRACE(f.name);
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(Create(*f.clsid, IID_IBaseFilter, filter), S_OK);
        ComPtr<IPin> in, out;
        in.p = FindPin(filter.p, PINDIR_INPUT);
        out.p = FindPin(filter.p, PINDIR_OUTPUT);
        ASSERT_TRUE(in && out);
        AM_MEDIA_TYPE text{};
        text.majortype = MEDIATYPE_Text;
        EXPECT_NE(in->QueryAccept(&text), S_OK);
    }
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

TEST_F(DllServerTest, ClassFactoryRulesAndTheUnloadCount) {
    HMODULE module = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module, nullptr);
    auto getClassObject = Export<GetClassObjectFn>(module, "DllGetClassObject");
    ASSERT_NE(getClassObject, nullptr);
    // The five creation functions are exported under their C++ names too.
    EXPECT_NE(
        GetProcAddress(module,
                       "_ZN21qm_MPEGDecoderFilters29CreateMPEG2VideoDecoderFilterEPP11IBaseFilter"),
        nullptr);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(CLSID_FilterGraph, IID_IClassFactory, &out),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getClassObject(CLSID_MPEGAudioDecoderFilter, IID_IClassFactory, nullptr), E_POINTER);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(CLSID_MPEGAudioDecoderFilter, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory.p)),
              S_OK);
    EXPECT_EQ(DllCanUnloadNowResult(), S_FALSE) << "a live factory keeps the DLL";

    ComPtr<IUnknown> outer;
    ASSERT_EQ(Create(CLSID_FilterGraph, IID_IUnknown, outer), S_OK);
    ComPtr<IUnknown> aggregated;
    EXPECT_EQ(
        factory->CreateInstance(outer.p, IID_IUnknown, reinterpret_cast<void**>(&aggregated.p)),
        CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(aggregated);
    ComPtr<IPin> notAPin;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPin, reinterpret_cast<void**>(&notAPin.p)),
              E_NOINTERFACE);

    ComPtr<IBaseFilter> filter;
    ASSERT_EQ(
        factory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&filter.p)),
        S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    filter.Reset();
    EXPECT_EQ(DllCanUnloadNowResult(), S_FALSE) << "a server lock keeps the DLL";
    getClassObject(CLSID_MPEGAudioDecoderFilter, IID_IClassFactory,
                   reinterpret_cast<void**>(&factory.p));
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK) << "an extra unlock is harmless";
    factory.Reset();
    EXPECT_EQ(DllCanUnloadNowResult(), S_OK);
    // Pins and samples are objects of the DLL too: a pin held after its filter keeps it.
    ASSERT_EQ(Create(CLSID_MPEG2VideoDecoderFilter, IID_IBaseFilter, filter), S_OK);
    ComPtr<IPin> pin;
    pin.p = FindPin(filter.p, PINDIR_INPUT);
    filter.Reset();
    EXPECT_EQ(DllCanUnloadNowResult(), S_FALSE);
    pin.Reset();
    EXPECT_EQ(DllCanUnloadNowResult(), S_OK);
    FreeLibrary(module);
}

TEST_F(DllServerTest, RepeatedLoadAndUnloadThroughCom) {
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        ComPtr<IBaseFilter> filter;
        ASSERT_EQ(Create(CLSID_MPEGAudioDecoderFilter, IID_IBaseFilter, filter), S_OK);
        ASSERT_NE(GetModuleHandleW(L"qm_MPEGDecoderFilters.dll"), nullptr);
        filter.Reset();
        EXPECT_EQ(DllCanUnloadNowResult(), S_OK);
        // Twice: the first call only marks the library, the second frees it.
        CoFreeUnusedLibrariesEx(0, 0);
        CoFreeUnusedLibrariesEx(0, 0);
        EXPECT_EQ(GetModuleHandleW(L"qm_MPEGDecoderFilters.dll"), nullptr);
    }
}

TEST_F(DllServerTest, RegisteringWithoutRightsFailsCleanly) {
    // The classes root replaced by a key that was deleted while open: every write is refused,
    // as for a user without administrator rights.
    HMODULE module = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module, nullptr);
    auto registerServer = Export<DllFunction>(module, "DllRegisterServer");
    ASSERT_NE(registerServer, nullptr);
    HKEY refusing = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\qm-refusing", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &refusing, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\qm-refusing"), ERROR_SUCCESS);
    const LONG overridden = RegOverridePredefKey(HKEY_CLASSES_ROOT, refusing);
    const HRESULT hr = overridden == ERROR_SUCCESS ? registerServer() : S_OK;
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    RegCloseKey(refusing);
    ASSERT_EQ(overridden, ERROR_SUCCESS);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(Export<DllFunction>(module, "DllCanUnloadNow")(), S_OK);
    FreeLibrary(module);
}

}  // namespace
}  // namespace qm::wintest
