// Creation of a filter object for the exported functions.
#pragma once

#include <new>

#include "diagnostics/CheckForms.h"
#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

// Constructs Filter(&hr) and hands out its IBaseFilter with one reference. A construction that
// fails is destroyed and its HRESULT returned.
template <class Filter>
HRESULT CreateFilter(IBaseFilter** ppInstance) {
    QMCheckCondition(ppInstance != 0, E_POINTER);
    HRESULT hr = S_OK;
    Filter* filter = new (std::nothrow) Filter(&hr);
    *ppInstance = filter ? static_cast<IBaseFilter*>(filter) : nullptr;
    QMCheckCondition(*ppInstance != 0, E_OUTOFMEMORY);
    if (SUCCEEDED(hr)) {
        (*ppInstance)->AddRef();
        return hr;
    }
    delete filter;
    *ppInstance = nullptr;
    QMCheckHRESULT(hr);
    return hr;
}

}  // namespace qm_MPEGDecoderFilters
