// The colour-conversion stage: converts (or copies) a picture into another layout, writing it at
// the output's top-left corner.
#pragma once

#include "SDKs/CodecFramework/core/BaseCodec.h"
#include "SDKs/CodecFramework/core/VideoData.h"

namespace UMC {

class ColorSpaceConversion : public BaseCodec {
    UMC_CLASS_IDENTITY(ColorSpaceConversion, BaseCodec)

public:
    ColorSpaceConversion() = default;
    ~ColorSpaceConversion() override = default;

    // Both must be VideoData (else STATUS_NULL_PTR); the input may not be wider or taller than
    // the output (STATUS_INVALID_PARAMS). STATUS_NOT_IMPLEMENTED for a pair without a kernel.
    Status GetFrame(MediaData* input, MediaData* output) override;
    Status Reset() override { return STATUS_OK; }
};

}  // namespace UMC
