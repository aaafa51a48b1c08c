// The exported entry point: runs the pipeline steps in order over the one
// encode state and turns their results into the host's result code.
#include "qrimage.h"

#include <cstdint>

#include "api/call_lock.h"
#include "api/encode_symbol.h"
#include "data/version_select.h"
#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "mask/mask.h"
#include "output/bitmap.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"

namespace qrimage {
namespace {

// Copies the text with its NUL. A text too long for the buffer is cut to
// 2974 bytes, which is still longer than any symbol holds, so the length
// test rejects it without reading past what fits.
void CopyText(const char* text) {
  int i = 0;
  while (i < kTextBufferSize - 1 && text[i] != '\0') {
    textBuffer[i] = static_cast<std::uint8_t>(text[i]);
    ++i;
  }
  textBuffer[i] = 0;
}

}  // namespace

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

int FinishSymbol(EncodeState& state) {
  if (ComputeErrorCorrection(state) != 0) {
    return QRIMAGE_ERROR_ENCODING;
  }
  InterleaveCodewords(state);
  BuildMaskTemplates(state);
  PlaceModules(state);
  SelectAndApplyMask(state);
  PlaceFormatAndVersionInfo(state);
  return state.version;
}

}  // namespace qrimage

extern "C" QRIMAGE_API int QRIMAGE_CALL QRImage(const char* text, int level,
                                                const char* path) QRIMAGE_NOEXCEPT {
  using namespace qrimage;
  // All calls share the static encode state, so they take turns. A lock the
  // system refuses is reported as the one internal failure code, with no
  // file touched.
  const CallLock lock;
  if (!lock.Held()) {
    return QRIMAGE_ERROR_ENCODING;
  }
  PrepareGaloisTables();

  if (text == nullptr) {
    return QRIMAGE_ERROR_INPUT;
  }
  CopyText(text);
  const int version = EncodeSymbol(level);
  if (version < 0) {
    return version;
  }
  if (WriteBitmapFile(encodeState, path) != 0) {
    return QRIMAGE_ERROR_FILE;
  }
  return version;
}
