#include "tool_core/encode.h"

#include <cstring>

#include "api/call_lock.h"
#include "api/encode_symbol.h"
#include "qrimage.h"
#include "state/encode_state.h"

namespace qrimage {

int EncodeSegments(const std::uint8_t* text, const SymbolPlan& plan, Symbol& symbol, int mask) {
  if (plan.version < kMinVersion || plan.version > kMaxVersion || plan.level < kLevelL ||
      plan.level > kLevelH || mask < kEvaluatedMask || mask >= kMaskCount) {
    return QRIMAGE_ERROR_INPUT;
  }
  // The bit stream is written before the lock is taken: only the steps
  // over the shared state wait for other callers.
  const int codewords = DataCodewordCount(plan.version, plan.level);
  std::uint8_t data[kMaxDataCodewords];
  if (!WriteSegmentStream(text, plan.segments, plan.headers, plan.version, data, codewords)) {
    return QRIMAGE_ERROR_INPUT;
  }

  const CallLock lock;
  if (!lock.Held()) {
    return QRIMAGE_ERROR_ENCODING;
  }
  PrepareGaloisTables();
  EncodeState& state = encodeState;
  std::memcpy(state.dataCodewords, data, codewords);
  state.dataCodewordCount = codewords;
  state.version = plan.version;
  state.level = static_cast<std::uint8_t>(plan.level);
  const int version = FinishSymbol(state, mask);
  if (version < 0) {
    return version;
  }
  const int size = SymbolSize(version);
  symbol.version = version;
  symbol.size = size;
  symbol.mask = state.maskIndex;
  for (int r = 0; r < size; ++r) {
    std::memcpy(symbol.modules + r * size, &state.matrix[r * GRID_STRIDE], size);
  }
  return version;
}

}  // namespace qrimage
