// CTransformFilter: a filter with one input and one output pin that turns each input sample
// into an output sample. The derived class supplies CheckInputType, CheckTransform,
// DecideBufferSize and GetMediaType, and either Transform (the default Receive gets an output
// sample, copies the input's properties to it, calls Transform and delivers) or its own Receive.
// Locks: m_csFilter for state changes, connection and flushing; m_csReceive around Receive and
// EndOfStream on the streaming thread.
#pragma once

#include "platform/dshow/Allocator.h"
#include "platform/dshow/BaseFilter.h"

class CTransformFilter;

class CTransformInputPin : public CBaseInputPin {
    friend class CTransformFilter;

public:
    CTransformInputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                       LPCWSTR pName);

    // Connection hooks forwarded to the filter (CheckConnect, BreakConnect, CompleteConnect,
    // SetMediaType with PINDIR_INPUT). CheckMediaType asks CheckInputType and, with the output
    // connected, CheckTransform against the output type.
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT CheckMediaType(const CMediaType* mtIn) override;
    HRESULT SetMediaType(const CMediaType* mt) override;

    // Streaming: EndOfStream and Receive take the receive lock; flushing takes the filter lock
    // and needs both pins connected (VFW_E_NOT_CONNECTED otherwise); NewSegment is forwarded.
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                         double dRate) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* pSample) override;

    // VFW_E_NOT_CONNECTED while the output is not connected, else the base rules.
    HRESULT CheckStreaming() override;

    CMediaType& CurrentMediaType() { return m_mt; }

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformOutputPin : public CBaseOutputPin {
    friend class CTransformFilter;

public:
    CTransformOutputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter, HRESULT* phr,
                        LPCWSTR pName);

    // Needs a connected input (E_UNEXPECTED). Hooks forwarded to the filter with
    // PINDIR_OUTPUT; CheckMediaType asks CheckTransform; GetMediaType asks the filter while the
    // input is connected (VFW_S_NO_MORE_ITEMS otherwise).
    HRESULT CheckConnect(IPin* pPin) override;
    HRESULT BreakConnect() override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT CheckMediaType(const CMediaType* mtOut) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;

    // Quality messages from downstream: the filter's AlterQuality first, upstream when it
    // returns S_FALSE.
    HRESULT STDMETHODCALLTYPE Notify(IBaseFilter* pSender, Quality q) override;

    CMediaType& CurrentMediaType() { return m_mt; }

protected:
    CTransformFilter* m_pTransformFilter;
};

class CTransformFilter : public CBaseFilter {
    friend class CTransformInputPin;
    friend class CTransformOutputPin;

public:
    CTransformFilter(LPCTSTR pName, LPUNKNOWN pUnk, REFCLSID clsid);
    ~CTransformFilter() override;

    // Two pins, created on first use: 0 input, 1 output; null for any other index.
    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override;

    // Stop deactivates the input first (so Receive fails), then the output under the receive
    // lock, then calls StopStreaming. Pause calls StartStreaming when leaving Stopped, sends end
    // of stream downstream when the input is not connected, and clears m_bSampleSkipped and
    // m_bQualityChanged.
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;

    // What the derived filter supplies.
    virtual HRESULT CheckInputType(const CMediaType* mtIn) = 0;
    virtual HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop) = 0;
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) = 0;
    // In-to-out processing used by the default Receive: S_OK delivers, S_FALSE skips the
    // sample (EC_QUALITY_CHANGE once until the next Pause). E_UNEXPECTED unless overridden.
    virtual HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut);

    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }
    // S_FALSE: pass the quality message upstream.
    virtual HRESULT AlterQuality(Quality) { return S_FALSE; }
    virtual HRESULT SetMediaType(PIN_DIRECTION, const CMediaType*) { return S_OK; }
    virtual HRESULT CheckConnect(PIN_DIRECTION, IPin*) { return S_OK; }
    virtual HRESULT BreakConnect(PIN_DIRECTION) { return S_OK; }
    virtual HRESULT CompleteConnect(PIN_DIRECTION, IPin*) { return S_OK; }

    // Streaming entry points called by the input pin; the defaults forward downstream.
    virtual HRESULT Receive(IMediaSample* pSample);
    virtual HRESULT EndOfStream();
    virtual HRESULT BeginFlush();
    virtual HRESULT EndFlush();
    virtual HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    CCritSec* pStateLock() { return &m_csFilter; }

protected:
    // An output sample carrying the input sample's times, media times and flags.
    virtual HRESULT InitializeOutputSample(IMediaSample* pSample, IMediaSample** ppOutSample);

    bool m_bEOSDelivered;
    bool m_bSampleSkipped;
    bool m_bQualityChanged;
    CCritSec m_csFilter;
    CCritSec m_csReceive;
    CTransformInputPin* m_pInput;
    CTransformOutputPin* m_pOutput;
};
