// The facts about symbols that code outside the encoder may read: level
// letters, versions and sizes, byte capacities, module values and the quiet
// zone. Nothing here touches the encoder's working storage.
#ifndef QRIMAGE_SRC_STATE_SYMBOL_TABLES_H
#define QRIMAGE_SRC_STATE_SYMBOL_TABLES_H

#include <cstdint>

namespace qrimage {

constexpr int kMinVersion = 1;
constexpr int kMaxVersion = 40;

// The level letters in index order: L 0, M 1, Q 2, H 3.
inline constexpr char kLevelLetters[4] = {'L', 'M', 'Q', 'H'};

// Bytes a single byte-mode segment can carry, by version (row = version - 1)
// and level.
extern const std::uint16_t kByteCapacity[kMaxVersion][4];

// Modules per side of a version's symbol.
constexpr int SymbolSize(int version) {
  return 4 * version + 17;
}
constexpr int kMaxSymbolSize = SymbolSize(kMaxVersion);  // 177

constexpr std::uint8_t MODULE_DARK = 0x00;
constexpr std::uint8_t MODULE_LIGHT = 0xFF;

// Light modules around the symbol on every side.
constexpr int kQuietZoneModules = 4;

// Bits of the byte-mode character count: 8 up to version 9, 16 from 10.
constexpr int CountBits(int version) {
  return version < 10 ? 8 : 16;
}

// An ECI header (mode 0111 and one 8-bit designator) ahead of the segment.
constexpr int kEciHeaderBits = 12;

// Data codewords of a version and level. The capacity leaves room for the
// 4-bit mode, the count and the 4-bit terminator, which together come to
// whole codewords.
inline int DataCodewordCount(int version, int level) {
  return kByteCapacity[version - 1][level] + (4 + CountBits(version) + 4) / 8;
}

// Bytes the segment can carry, with or without an ECI header before it.
// Without one this is the table; with one, the 12 bits come off the data
// bits (a full symbol may then leave out the terminator).
inline int ByteCapacity(int version, int level, bool eci) {
  if (!eci) {
    return kByteCapacity[version - 1][level];
  }
  return (8 * DataCodewordCount(version, level) - kEciHeaderBits - 4 - CountBits(version)) / 8;
}

}  // namespace qrimage

#endif
