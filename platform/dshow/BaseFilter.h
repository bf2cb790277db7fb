// The filter and pin base classes: CBaseFilter (state, clock, graph membership, events),
// CBasePin (the connection protocol), CBaseInputPin (IMemInputPin: allocator, flushing,
// streaming checks), CBaseOutputPin (allocator negotiation and delivery), and the pin and media
// type enumerators. A filter derives from CBaseFilter and returns its pins from GetPin; a pin
// overrides CheckMediaType / GetMediaType and, for output pins, DecideBufferSize.
#pragma once

#include "platform/com/ComBase.h"
#include "platform/dshow/EventCodes.h"
#include "platform/dshow/MediaType.h"
#include "platform/dshow/WxUtil.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
    friend class CBasePin;

public:
    // pLock is the filter lock, owned by the derived class.
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid);
    CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, HRESULT* phr);
    ~CBaseFilter() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClsID) override;

    // IMediaFilter. Stop deactivates the connected pins, Pause activates them (committing the
    // output allocators), Run pauses first when stopped.
    HRESULT STDMETHODCALLTYPE GetState(DWORD dwMSecs, FILTER_STATE* State) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* pClock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** pClock) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME tStart) override;

    // IBaseFilter. FindPin compares with the pins' names.
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR Id, IPin** ppPin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* pInfo) override;
    // The graph is held without a reference (it holds us); its IMediaEventSink becomes the
    // destination of NotifyEvent.
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName) override;
    // No vendor information: E_NOTIMPL.
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* pVendorInfo) override;

    // IAMovieSetup: there is no registry here; both succeed without effect.
    HRESULT STDMETHODCALLTYPE Register() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Unregister() override { return S_OK; }

    // The pins, numbered from 0; null past the last.
    virtual CBasePin* GetPin(int n) = 0;
    virtual int GetPinCount() = 0;
    virtual LONG GetPinVersion() { return m_PinVersion; }
    void IncrementPinVersion() { ++m_PinVersion; }

    // Sends an event to the graph's event sink. EC_COMPLETE gets this filter as second
    // parameter. E_NOTIMPL when the filter is not in a graph with a sink.
    HRESULT NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);

    BOOL IsActive() const { return m_State != State_Stopped; }
    BOOL IsStopped() const { return m_State == State_Stopped; }
    IFilterGraph* GetFilterGraph() const { return m_pGraph; }

protected:
    FILTER_STATE m_State;
    IReferenceClock* m_pClock;
    REFERENCE_TIME m_tStart;
    CLSID m_clsid;
    CCritSec* m_pLock;
    WCHAR* m_pName;
    IFilterGraph* m_pGraph;
    IMediaEventSink* m_pSink;
    LONG m_PinVersion;
};

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // Reference counting goes to the filter: a pin lives as long as its filter.
    CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
             LPCWSTR pName, PIN_DIRECTION dir);
    ~CBasePin() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return GetOwner()->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return NonDelegatingAddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return NonDelegatingRelease(); }
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    // IPin. Connect agrees a type (the receiving pin's types first unless m_bTryMyTypesFirst,
    // then ours; a fully specified pmt is tried alone) and completes the connection on both
    // sides; failures leave both pins unconnected.
    HRESULT STDMETHODCALLTYPE Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* pConnector,
                                                const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* Id) override;
    // S_OK when CheckMediaType accepts the type, S_FALSE otherwise.
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* pmt) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
    // Every pin connects to every other pin of its filter: E_NOTIMPL, as the interface allows.
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override = 0;
    HRESULT STDMETHODCALLTYPE EndFlush() override = 0;
    // Records the segment (CurrentStartTime / CurrentStopTime / CurrentRate).
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                         double dRate) override;

    // IQualityControl: a plain pin does not handle quality messages (E_NOTIMPL).
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* pSender, Quality q) override;
    HRESULT STDMETHODCALLTYPE SetSink(IQualityControl* piqc) override;

    // Called by the filter on state changes of a connected pin.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

    // Connection hooks. CheckMediaType must return S_OK for a type the pin accepts.
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect() { return S_OK; }
    virtual HRESULT CompleteConnect(IPin*) { return S_OK; }
    // The pin's preferred types by position: S_OK, VFW_S_NO_MORE_ITEMS past the last.
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);
    virtual LONG GetMediaTypeVersion() { return m_TypeVersion; }
    void IncrementTypeVersion() { ++m_TypeVersion; }

    BOOL IsConnected() const { return m_Connected != nullptr; }
    IPin* GetConnected() const { return m_Connected; }
    BOOL IsStopped() const { return m_pFilter->m_State == State_Stopped; }
    CMediaType& CurrentMediaType() { return m_mt; }
    LPWSTR Name() const { return m_pName; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }
    BOOL CanReconnectWhenActive() const { return m_bCanReconnectWhenActive; }
    void SetReconnectWhenActive(bool bCanReconnect) { m_bCanReconnectWhenActive = bCanReconnect; }

protected:
    virtual HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    HRESULT DisconnectInternal();

    WCHAR* m_pName;
    IPin* m_Connected;
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    bool m_bRunTimeError;
    bool m_bCanReconnectWhenActive;
    bool m_bTryMyTypesFirst;
    CBaseFilter* m_pFilter;
    IQualityControl* m_pQSink;
    LONG m_TypeVersion;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart;
    REFERENCE_TIME m_tStop;
    double m_dRate;
};

// Enumerates a filter's pins; VFW_E_ENUM_OUT_OF_SYNC after the pin set changed (Reset resyncs).
class CEnumPins : public IEnumPins {
public:
    CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins);
    virtual ~CEnumPins();
    CEnumPins(const CEnumPins&) = delete;
    CEnumPins& operator=(const CEnumPins&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cPins) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** ppEnum) override;

private:
    BOOL AreWeOutOfSync() const { return m_pFilter->GetPinVersion() != m_Version; }

    int m_Position;
    int m_PinCount;
    CBaseFilter* m_pFilter;
    LONG m_Version;
    std::atomic<LONG> m_cRef;
};

// Enumerates a pin's GetMediaType list as CreateMediaType copies (the caller deletes them).
class CEnumMediaTypes : public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes);
    virtual ~CEnumMediaTypes();
    CEnumMediaTypes(const CEnumMediaTypes&) = delete;
    CEnumMediaTypes& operator=(const CEnumMediaTypes&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG cMediaTypes) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** ppEnum) override;

private:
    BOOL AreWeOutOfSync() const { return m_pPin->GetMediaTypeVersion() != m_Version; }

    int m_Position;
    CBasePin* m_pPin;
    LONG m_Version;
    std::atomic<LONG> m_cRef;
};

class CBaseInputPin : public CBasePin, public IMemInputPin {
public:
    CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                  LPCWSTR pName);
    ~CBaseInputPin() override;

    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IMemInputPin. GetAllocator creates the standard memory allocator on first use;
    // NotifyAllocator records the allocator upstream chose. GetAllocatorRequirements: none
    // (E_NOTIMPL). Receive checks the streaming state and an attached media type (a type the
    // pin refuses is a run-time error: end of stream, EC_ERRORABORT and
    // VFW_E_INVALIDMEDIATYPE), and records the sample's properties in m_SampleProps.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** ppAllocator) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* pSample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                              LONG* nSamplesProcessed) override;
    // S_OK when some downstream path blocks (or this filter renders), else S_FALSE.
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    // IQualityControl: messages from downstream are not expected here (E_NOTIMPL); PassNotify
    // forwards one upstream (to the sink set by SetSink, else the connected pin).
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* pSender, Quality q) override;
    HRESULT PassNotify(Quality& q);

    // Decommits the allocator.
    HRESULT Inactive() override;
    HRESULT BreakConnect() override;

    // S_OK while streaming; VFW_E_WRONG_STATE when stopped, S_FALSE when flushing,
    // VFW_E_RUNTIME_ERROR after a run-time error.
    virtual HRESULT CheckStreaming();

    BOOL IsReadOnly() const { return m_bReadOnly; }
    BOOL IsFlushing() const { return m_bFlushing; }
    AM_SAMPLE2_PROPERTIES* SampleProps() { return &m_SampleProps; }
    IMemAllocator* Allocator() const { return m_pAllocator; }

protected:
    IMemAllocator* m_pAllocator;
    BYTE m_bReadOnly;
    BYTE m_bFlushing;
    AM_SAMPLE2_PROPERTIES m_SampleProps;
};

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   LPCWSTR pName);

    // Negotiates the allocator (DecideAllocator) once the type is agreed.
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    // The downstream pin must support IMemInputPin (VFW_E_NO_TRANSPORT otherwise).
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;

    // Asks the downstream pin for its requirements (alignment 1 when it gives 0) and its
    // allocator; failing that, creates the standard memory allocator. DecideBufferSize sizes
    // it and the downstream pin is told which allocator is used.
    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** pAlloc);
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc,
                                     ALLOCATOR_PROPERTIES* ppropInputRequest) = 0;

    // An empty sample from the negotiated allocator.
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    // Hands a sample to the downstream pin's Receive (the caller keeps its reference).
    virtual HRESULT Deliver(IMediaSample* pSample);
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // Commit / decommit the allocator with the filter's state.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // Output pins receive no stream control: E_UNEXPECTED.
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return E_UNEXPECTED; }

    IMemAllocator* Allocator() const { return m_pAllocator; }
    IMemInputPin* InputPin() const { return m_pInputPin; }

protected:
    IMemAllocator* m_pAllocator;
    IMemInputPin* m_pInputPin;
};
