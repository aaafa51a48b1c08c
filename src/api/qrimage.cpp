// The exported entry point: takes the lock, copies the text, has the
// pipeline encode it and writes the bitmap, turning the steps' results into
// the host's result code.
#include "qrimage.h"

#include <cstdint>

#include "api/call_lock.h"
#include "api/encode_symbol.h"
#include "output/bitmap.h"
#include "state/encode_state.h"

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
