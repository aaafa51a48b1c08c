// Working storage of the encoder: the state record every pipeline step
// reads and writes, and the process-wide buffers next to it. Everything here is static storage,
// zero at load and sized for the largest symbol; nothing is allocated per call.
#ifndef QRIMAGE_SRC_STATE_ENCODE_STATE_H
#define QRIMAGE_SRC_STATE_ENCODE_STATE_H

#include <array>
#include <cstdint>

#include "state/symbol_tables.h"

namespace qrimage {

// Every grid is 177 x 177 bytes (version 40) with this row stride; a
// version V symbol uses only its top-left N x N corner, N = 4V + 17.
constexpr int GRID_STRIDE = 177;
constexpr int kGridBytes = GRID_STRIDE * GRID_STRIDE;

// In mask templates: a function, format or version module. The block
// penalty rule reuses the value to mark modules it has already counted.
constexpr std::uint8_t MODULE_RESERVED = 0x80;

using ModuleGrid = std::array<std::uint8_t, kGridBytes>;

// Index of a level letter in "LMQH"; every per-level table uses it.
enum ErrorCorrectionLevel : std::uint8_t { kLevelL = 0, kLevelM = 1, kLevelQ = 2, kLevelH = 3 };

// Largest counts of any version and level (version 40: 2956 data
// codewords at L, 2430 error-correction codewords at H, 3706 in all).
constexpr int kMaxDataCodewords = 2956;
constexpr int kMaxEccCodewords = 2430;
constexpr int kMaxTotalCodewords = 3706;

// Room for the longest text the library copies, plus its NUL.
constexpr int kTextBufferSize = 2975;

struct EncodeState {
  const std::uint8_t* text;
  std::int32_t textLength;
  std::uint8_t dataCodewords[kMaxDataCodewords];
  std::int32_t dataCodewordCount;
  std::int32_t version;
  std::uint8_t level;
  std::uint8_t eccCodewords[kMaxEccCodewords];
  std::int32_t eccCodewordCount;
  std::int32_t group1BlockCount;
  std::int32_t group1EccTotal;
  std::int32_t group2BlockCount;
  std::int32_t group2EccTotal;
  std::uint8_t finalCodewords[kMaxTotalCodewords];
  std::uint8_t maskIndex;
  ModuleGrid maskTemplates[kMaskCount];
  ModuleGrid matrix;
};

extern EncodeState encodeState;
extern std::uint8_t textBuffer[kTextBufferSize];
// Grid k holds the symbol under mask k while the masks are scored.
extern ModuleGrid maskedCandidates[kMaskCount];

}  // namespace qrimage

#endif
