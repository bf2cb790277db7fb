// The pins every decoder filter uses: the input pin offers the sample allocator upstream, the
// output pin is the base class's.
#pragma once

#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

class DecoderInputPin : public CTransformInputPin {
public:
    DecoderInputPin(LPCTSTR objectName, CTransformFilter* pFilter, HRESULT* phr);

    // Offers a QMMemAllocator, created on first use for the pin's connection type.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** ppAllocator) override;
    // The base behaviour, refusing a null allocator.
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
};

class DecoderOutputPin : public CTransformOutputPin {
public:
    DecoderOutputPin(LPCTSTR objectName, CTransformFilter* pFilter, HRESULT* phr);
    ~DecoderOutputPin() override;
};

}  // namespace qm_MPEGDecoderFilters
