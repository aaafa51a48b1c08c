#include "api/encode.h"

#include <cstring>

#include "api/call_lock.h"
#include "api/encode_symbol.h"
#include "qrimage.h"
#include "state/encode_state.h"

namespace qrimage {

int Encode(const char* text, std::size_t length, int level, const EncodeOptions& options,
           Symbol& symbol) {
  if (text == nullptr || length >= static_cast<std::size_t>(kTextBufferSize)) {
    return QRIMAGE_ERROR_INPUT;
  }
  // A NUL would end the text early: the caller's length would not be the
  // length encoded.
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] == '\0') {
      return QRIMAGE_ERROR_INPUT;
    }
  }
  const CallLock lock;
  if (!lock.Held()) {
    return QRIMAGE_ERROR_ENCODING;
  }
  std::memcpy(textBuffer, text, length);
  textBuffer[length] = 0;
  const int version = EncodeSymbol(level, options.minVersion, options.eci);
  if (version < 0) {
    return version;
  }
  const int size = SymbolSize(version);
  symbol.version = version;
  symbol.size = size;
  for (int r = 0; r < size; ++r) {
    std::memcpy(symbol.modules + r * size, &encodeState.matrix[r * GRID_STRIDE], size);
  }
  return version;
}

}  // namespace qrimage
