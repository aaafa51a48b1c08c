// The pipeline behind both entries, QRImage and the tool's: the steps in
// the order the data flows through them, over the one encode state.
#include "api/encode_symbol.h"

#include <cstdint>

#include "data/version_select.h"
#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "mask/mask.h"
#include "qrimage.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"

namespace qrimage {

// The first call of the process builds the field tables, whatever its
// arguments; the flag is set only once they are whole. Called under the
// lock.
void PrepareGaloisTables() {
  if (!galoisTablesReady) {
    InitGaloisTables();
    galoisTablesReady = 1;
  }
}

int EncodeSymbol(int level) {
  EncodeState& state = encodeState;
  if (SelectVersion(static_cast<std::uint8_t>(level & 0xFF), state) != 0) {
    return QRIMAGE_ERROR_INPUT;
  }
  BuildDataCodewords(state);
  return FinishSymbol(state);
}

int FinishSymbol(EncodeState& state, int mask) {
  if (ComputeErrorCorrection(state) != 0) {
    return QRIMAGE_ERROR_ENCODING;
  }
  InterleaveCodewords(state);
  BuildMaskTemplates(state);
  PlaceModules(state);
  if (mask == kEvaluatedMask) {
    SelectAndApplyMask(state);
  } else {
    ApplyMask(state, mask);
  }
  PlaceFormatAndVersionInfo(state);
  return state.version;
}

}  // namespace qrimage
