#include "state/encode_state.h"

namespace qrimage {

EncodeState encodeState;
std::uint8_t textBuffer[kTextBufferSize];
ModuleGrid maskedCandidates[kMaskCount];

}  // namespace qrimage
