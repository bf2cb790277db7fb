// The filters the DLL serves: class identifier, friendly name, creation function and the pin
// types written into the filter mapper's registry entries (intelligent connect reads them).
#pragma once

#include <span>
#include <vector>

#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

struct PinType {
    GUID major;
    GUID minor;
};

struct RegisteredFilter {
    const CLSID* clsid;
    const wchar_t* name;
    HRESULT (*create)(IBaseFilter** ppInstance);
    std::vector<PinType> (*inputTypes)();
    std::vector<PinType> (*outputTypes)();
};

std::span<const RegisteredFilter> RegisteredFilters();

// The table row of a class identifier, or null.
const RegisteredFilter* FindRegisteredFilter(REFCLSID clsid);

}  // namespace qm_MPEGDecoderFilters
