// Level letter to level index, and the smallest version that fits.
#include "data/version_select.h"

namespace qrimage {

// clang-format off
const std::uint16_t kByteCapacity[kMaxVersion][4] = {
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

int SelectVersion(std::uint8_t letter, EncodeState& state) {
  state.text = textBuffer;
  int length = 0;
  while (length < kTextBufferSize && textBuffer[length] != 0) {
    ++length;
  }
  state.textLength = length;

  int level = 0;
  while (level < 4 && static_cast<std::uint8_t>(kLevelLetters[level]) != letter) {
    ++level;
  }
  if (level == 4) {
    return -1;
  }
  state.level = static_cast<std::uint8_t>(level);

  for (int version = kMinVersion; version <= kMaxVersion; ++version) {
    if (kByteCapacity[version - 1][level] >= length) {
      state.version = version;
      state.dataCodewordCount = DataCodewordCount(version, level);
      return 0;
    }
  }
  return -2;
}

}  // namespace qrimage
