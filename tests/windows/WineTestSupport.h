// Helpers of the tests that load the DLL into a real DirectShow runtime (Wine's): COM set-up,
// running regsvr32, the registered filters, and graphs built in the system's graph manager with
// our push source feeding a probed elementary stream.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dshow/DShow.h"

#include <control.h>  // IMediaControl, IMediaEvent
#include "platform/graph/PushSource.h"
#include "tools/qmdecode/StreamProbe.h"

namespace qm::wintest {

// The DLL under test, as built.
std::wstring DllPath();
// regsvr32's exit code for the DLL (with "/u" to unregister), run silently.
DWORD RunRegsvr32(bool unregister);
// An export of a module as a function of type Fn (null when missing).
template <class Fn>
Fn Export(HMODULE module, const char* name) {
    FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}
using DllFunction = HRESULT(STDAPICALLTYPE*)();
// DllCanUnloadNow of the loaded DLL.
HRESULT DllCanUnloadNowResult();

// Holds one reference and releases it at scope end.
template <class T>
struct ComPtr {
    T* p = nullptr;
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }
    void Reset() {
        if (p) p->Release();
        p = nullptr;
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

template <class T>
HRESULT Create(REFCLSID clsid, REFIID iid, ComPtr<T>& out) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                            reinterpret_cast<void**>(&out.p));
}

// The filters of a graph by class identifier.
std::vector<CLSID> FilterClasses(IGraphBuilder* graph);
// The pin of a filter in a direction (first one), with a reference.
IPin* FindPin(IBaseFilter* filter, PIN_DIRECTION dir);

// A committed stream, probed as qmdecode does, pushed into a graph: video one picture per
// sample with its time, audio in 4096-byte pieces.
struct Stream {
    std::vector<uint8_t> bytes;
    qmdecode::ProbedStream probe;
};
Stream LoadStream(const std::filesystem::path& path);
// Pushes the whole stream then end of stream; the first result that is not S_OK.
HRESULT PushStream(qm::graph::PushSource* source, const Stream& stream);
HRESULT CreateSource(const Stream& stream, qm::graph::PushSource** ppSource);

// Each test runs with COM initialised (multithreaded) and the DLL registered.
class WineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
};

}  // namespace qm::wintest
