// Pairs DirectShow media subtypes with codec colour formats, both ways.
#pragma once

#include "SDKs/CodecFramework/core/ColorFormat.h"
#include "platform/com/Guid.h"

namespace qm {

struct SubtypeColorFormat {
    GUID subtype;
    UMC::ColorFormat format;
};

// The 20 rows, in order (the first match wins in both directions).
int GetSubtypeColorFormatCount();
const SubtypeColorFormat& GetSubtypeColorFormat(int row);

// The format of a subtype, or UMC::NONE.
UMC::ColorFormat ColorFormatFromSubtype(REFGUID subtype);
// The first subtype of a format, or GUID_NULL.
GUID SubtypeFromColorFormat(UMC::ColorFormat format);

}  // namespace qm
