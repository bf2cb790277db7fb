#include "SDKs/CodecFramework/mpeg4video/Mpeg4Inter.h"

namespace UMC::mpeg4 {

// Until the warping kernels exist a GMC macroblock predicts from the co-located reference.
void PredictGmcMacroblock(MPEG4DecoderState& s, int32_t column, int32_t row) {
    CopyMacroblock(s, *s.dec.forward, column, row);
}

MotionVector GmcVector(const MPEG4DecoderState&, int32_t, int32_t) {
    return {0, 0};
}

}  // namespace UMC::mpeg4
