// Self-registration: each filter's COM class entry (InprocServer32 pointing at this module) and
// its filter mapper entry in the legacy DirectShow filter category.
#pragma once

#include "platform/dshow/DShow.h"

namespace qm_MPEGDecoderFilters {

// Just above the system's own MPEG decoders (0x03680001), so that intelligent connect tries
// these first.
inline constexpr DWORD kDecoderMerit = 0x03680001 + 0x10;

// Registers every filter of the table for the module `modulePath`; running it again rewrites
// the same entries. Stops at the first failure (e.g. E_ACCESSDENIED without rights).
HRESULT RegisterFilters(const wchar_t* modulePath);
// Removes what RegisterFilters wrote; entries that are already gone are not an error.
HRESULT UnregisterFilters();

}  // namespace qm_MPEGDecoderFilters
