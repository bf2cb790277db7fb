#include "SDKs/CodecFramework/mpeg4video/Mpeg4InterVop.h"

namespace UMC::mpeg4 {

int32_t DecodePVop(MPEG4DecoderState&) {
    return PARSE_UNSUPPORTED;
}

}  // namespace UMC::mpeg4
