#include "tests/windows/WineTestSupport.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tools/qmdecode/VideoUnits.h"

namespace qm::wintest {

std::wstring DllPath() {
    const std::string path = QM_DLL_PATH;
    return std::wstring(path.begin(), path.end());
}

DWORD RunRegsvr32(bool unregister) {
    std::wstring command = L"regsvr32.exe /s ";
    if (unregister) command += L"/u ";
    command += L"\"" + DllPath() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return DWORD(-1);
    WaitForSingleObject(pi.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

HRESULT DllCanUnloadNowResult() {
    auto canUnload =
        Export<DllFunction>(GetModuleHandleW(L"qm_MPEGDecoderFilters.dll"), "DllCanUnloadNow");
    return canUnload ? canUnload() : E_FAIL;
}

std::vector<CLSID> FilterClasses(IGraphBuilder* graph) {
    std::vector<CLSID> classes;
    IEnumFilters* filters = nullptr;
    if (FAILED(graph->EnumFilters(&filters))) return classes;
    IBaseFilter* f = nullptr;
    while (filters->Next(1, &f, nullptr) == S_OK) {
        CLSID clsid = GUID_NULL;
        f->GetClassID(&clsid);
        classes.push_back(clsid);
        f->Release();
    }
    filters->Release();
    return classes;
}

IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
    IEnumPins* pins = nullptr;
    if (FAILED(filter->EnumPins(&pins))) return nullptr;
    IPin* pin = nullptr;
    IPin* found = nullptr;
    while (!found && pins->Next(1, &pin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == wanted)
            found = pin;
        else
            pin->Release();
    }
    pins->Release();
    return found;
}

Stream LoadStream(const std::filesystem::path& path) {
    Stream s;
    std::ifstream in(path, std::ios::binary);
    s.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto error = qmdecode::ProbeStream(s.bytes, std::nullopt, 48000, &s.probe);
    EXPECT_FALSE(error) << path << ": " << error.value_or("");
    return s;
}

HRESULT CreateSource(const Stream& stream, qm::graph::PushSource** ppSource) {
    size_t largest = 4096;
    if (stream.probe.kind == qmdecode::StreamKind::MpegVideo)
        for (const auto& u : qmdecode::SplitVideoUnits(stream.bytes.data(), stream.bytes.size(),
                                                       stream.probe.avgTimePerFrame))
            largest = std::max(largest, u.size);
    const ALLOCATOR_PROPERTIES request{4, LONG(largest), 1, 0};
    return qm::graph::PushSource::Create({stream.probe.inputType}, request, ppSource);
}

HRESULT PushStream(qm::graph::PushSource* source, const Stream& stream) {
    HRESULT hr = S_OK;
    if (stream.probe.kind == qmdecode::StreamKind::MpegVideo) {
        const REFERENCE_TIME frame = stream.probe.avgTimePerFrame;
        for (const auto& u :
             qmdecode::SplitVideoUnits(stream.bytes.data(), stream.bytes.size(), frame)) {
            qm::graph::SampleSpec spec;
            spec.start = u.pts;
            spec.stop = u.pts + frame;
            hr = source->Deliver(stream.bytes.data() + u.offset, u.size, spec);
            if (hr != S_OK) return hr;
        }
    } else {
        for (size_t offset = 0; offset < stream.bytes.size() && hr == S_OK; offset += 4096)
            hr = source->Deliver(stream.bytes.data() + offset,
                                 std::min<size_t>(4096, stream.bytes.size() - offset));
        if (hr != S_OK) return hr;
    }
    return source->DeliverEndOfStream();
}

void WineTest::SetUpTestSuite() {
    ASSERT_EQ(RunRegsvr32(false), 0u) << "regsvr32 of the DLL failed";
}

void WineTest::SetUp() {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
}

void WineTest::TearDown() {
    CoUninitialize();
}

}  // namespace qm::wintest
