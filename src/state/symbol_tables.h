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
// clang-format off
inline constexpr std::uint16_t kByteCapacity[kMaxVersion][4] = {
    //  L     M     Q     H
    {  17,   14,   11,    7},  // 1
    {  32,   26,   20,   14},  // 2
    {  53,   42,   32,   24},  // 3
    {  78,   62,   46,   34},  // 4
    { 106,   84,   60,   44},  // 5
    { 134,  106,   74,   58},  // 6
    { 154,  122,   86,   64},  // 7
    { 192,  152,  108,   84},  // 8
    { 230,  180,  130,   98},  // 9
    { 271,  213,  151,  119},  // 10
    { 321,  251,  177,  137},  // 11
    { 367,  287,  203,  155},  // 12
    { 425,  331,  241,  177},  // 13
    { 458,  362,  258,  194},  // 14
    { 520,  412,  292,  220},  // 15
    { 586,  450,  322,  250},  // 16
    { 644,  504,  364,  280},  // 17
    { 718,  560,  394,  310},  // 18
    { 792,  624,  442,  338},  // 19
    { 858,  666,  482,  382},  // 20
    { 929,  711,  509,  403},  // 21
    {1003,  779,  565,  439},  // 22
    {1091,  857,  611,  461},  // 23
    {1171,  911,  661,  511},  // 24
    {1273,  997,  715,  535},  // 25
    {1367, 1059,  751,  593},  // 26
    {1465, 1125,  805,  625},  // 27
    {1528, 1190,  868,  658},  // 28
    {1628, 1264,  908,  698},  // 29
    {1732, 1370,  982,  742},  // 30
    {1840, 1452, 1030,  790},  // 31
    {1952, 1538, 1112,  842},  // 32
    {2068, 1628, 1168,  898},  // 33
    {2188, 1722, 1228,  958},  // 34
    {2303, 1809, 1283,  983},  // 35
    {2431, 1911, 1351, 1051},  // 36
    {2563, 1989, 1423, 1093},  // 37
    {2699, 2099, 1499, 1139},  // 38
    {2809, 2213, 1579, 1219},  // 39
    {2953, 2331, 1663, 1273}   // 40
};
// clang-format on

// Modules per side of a version's symbol.
constexpr int SymbolSize(int version) {
  return 4 * version + 17;
}
constexpr int kMaxSymbolSize = SymbolSize(kMaxVersion);  // 177

constexpr std::uint8_t MODULE_DARK = 0x00;
constexpr std::uint8_t MODULE_LIGHT = 0xFF;

// The data masks a symbol may be written with, numbered 0 to 7.
constexpr int kMaskCount = 8;

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
