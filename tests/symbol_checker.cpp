#include "symbol_checker.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "ecc/block_layout.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"

namespace qrtest {
namespace {

using namespace qrimage;

#define CHECK(condition)                                                                 \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      throw std::runtime_error("symbol_checker.cpp:" + std::to_string(__LINE__) + ": " + \
                               #condition);                                              \
    }                                                                                    \
  } while (0)

bool Dark(int r, int c) {
  return encodeState.matrix[r * GRID_STRIDE + c] == MODULE_DARK;
}

// Map of the modules that carry no data: finder patterns with their
// separators and the format areas (the dark module among them), version
// areas, timing patterns and alignment patterns.
std::vector<bool> FunctionModules(int version) {
  const int n = SymbolSize(version);
  std::vector<bool> map(n * n, false);
  auto mark = [&](int top, int left, int height, int width) {
    for (int r = top; r < top + height; ++r) {
      for (int c = left; c < left + width; ++c) {
        map[r * n + c] = true;
      }
    }
  };
  mark(0, 0, 9, 9);
  mark(0, n - 8, 9, 8);
  mark(n - 8, 0, 8, 9);
  if (version >= 7) {
    mark(0, n - 11, 6, 3);
    mark(n - 11, 0, 3, 6);
  }
  mark(6, 0, 1, n);
  mark(0, 6, n, 1);
  ForEachAlignmentCenter(version, [&](int row, int column) { mark(row - 2, column - 2, 5, 5); });
  return map;
}

void CheckFunctionPatterns(int version) {
  const int n = SymbolSize(version);
  const int corners[3][2] = {{0, 0}, {0, n - 7}, {n - 7, 0}};
  for (const auto& corner : corners) {
    for (int a = -1; a <= 7; ++a) {
      for (int b = -1; b <= 7; ++b) {
        const int r = corner[0] + a;
        const int c = corner[1] + b;
        if (r < 0 || c < 0 || r >= n || c >= n) {
          continue;
        }
        const int ring = std::max(std::abs(a - 3), std::abs(b - 3));
        // Rings from the centre: dark 3 x 3, light, dark, then the light separator.
        CHECK(Dark(r, c) == (ring <= 1 || ring == 3));
      }
    }
  }
  for (int k = 8; k <= n - 9; ++k) {
    CHECK(Dark(6, k) == (k % 2 == 0));
    CHECK(Dark(k, 6) == (k % 2 == 0));
  }
  ForEachAlignmentCenter(version, [&](int row, int column) {
    for (int a = -2; a <= 2; ++a) {
      for (int b = -2; b <= 2; ++b) {
        CHECK(Dark(row + a, column + b) == (std::max(std::abs(a), std::abs(b)) != 1));
      }
    }
  });
  CHECK(Dark(n - 8, 8));  // the dark module
}

void CheckFormatAndVersionInfo(int version, int level, int mask) {
  const int n = SymbolSize(version);
  const int indicator = (const int[]){1, 0, 3, 2}[level];
  const std::uint32_t data = static_cast<std::uint32_t>(indicator << 3 | mask);
  const std::uint32_t word = ((data << 10) | BchRemainder(data << 10, 0x537, 11)) ^ 0x5412;
  std::uint32_t first = 0;
  std::uint32_t second = 0;
  for (int bit = 14; bit >= 0; --bit) {
    bool a;
    if (bit >= 9) {
      a = Dark(8, 14 - bit);
    } else if (bit == 8) {
      a = Dark(8, 7);
    } else if (bit >= 6) {
      a = Dark(bit + 1, 8);
    } else {
      a = Dark(bit, 8);
    }
    const bool b = bit >= 8 ? Dark(n - 15 + bit, 8) : Dark(8, n - 1 - bit);
    first |= static_cast<std::uint32_t>(a) << bit;
    second |= static_cast<std::uint32_t>(b) << bit;
  }
  CHECK(first == word);
  CHECK(second == word);
  if (version >= 7) {
    const std::uint32_t v = static_cast<std::uint32_t>(version) << 12;
    const std::uint32_t versionWord = v | BchRemainder(v, 0x1F25, 13);
    for (int bit = 0; bit < 18; ++bit) {
      const bool set = versionWord >> bit & 1;
      CHECK(Dark(n - 11 + bit % 3, bit / 3) == set);
      CHECK(Dark(bit / 3, n - 11 + bit % 3) == set);
    }
  }
}

bool MaskInverts(int mask, int i, int j) {
  switch (mask) {
    case 0:
      return (i + j) % 2 == 0;
    case 1:
      return i % 2 == 0;
    case 2:
      return j % 3 == 0;
    case 3:
      return (i + j) % 3 == 0;
    case 4:
      return (i / 2 + j / 3) % 2 == 0;
    case 5:
      return (i * j) % 2 + (i * j) % 3 == 0;
    case 6:
      return ((i * j) % 2 + (i * j) % 3) % 2 == 0;
    default:
      return ((i + j) % 2 + (i * j) % 3) % 2 == 0;
  }
}

// Reads the codewords back out of the symbol: zig-zag over the data
// modules, undoing the chosen mask. The remainder modules must read 0.
std::vector<std::uint8_t> ReadCodewords(int version, int mask, int codewordCount) {
  const int n = SymbolSize(version);
  const std::vector<bool> function = FunctionModules(version);
  std::vector<std::uint8_t> codewords(codewordCount, 0);
  int bit = 0;
  bool upward = true;
  for (int right = n - 1; right >= 1; right -= 2) {
    if (right == 6) {
      right = 5;
    }
    for (int step = 0; step < n; ++step) {
      const int row = upward ? n - 1 - step : step;
      for (int column = right; column >= right - 1; --column) {
        if (function[row * n + column]) {
          continue;
        }
        const bool value = Dark(row, column) != MaskInverts(mask, row, column);
        if (bit < codewordCount * 8) {
          codewords[bit >> 3] |= static_cast<std::uint8_t>(value << (7 - (bit & 7)));
        } else {
          CHECK(!value);
        }
        ++bit;
      }
    }
    upward = !upward;
  }
  CHECK(bit >= codewordCount * 8 && bit < codewordCount * 8 + 8);
  return codewords;
}

// Mode, count, text, terminator and pad codewords.
void CheckDataCodewords(const std::vector<std::uint8_t>& data, const std::string& text,
                        int version) {
  std::vector<std::uint8_t> expected;
  std::uint32_t acc = 0;
  int bits = 0;
  auto put = [&](std::uint32_t value, int count) {
    for (int b = count - 1; b >= 0; --b) {
      acc = acc << 1 | (value >> b & 1);
      if (++bits == 8) {
        expected.push_back(static_cast<std::uint8_t>(acc));
        acc = 0;
        bits = 0;
      }
    }
  };
  put(4, 4);
  put(static_cast<std::uint32_t>(text.size()), version < 10 ? 8 : 16);
  for (const char ch : text) {
    put(static_cast<std::uint8_t>(ch), 8);
  }
  const std::size_t capacityBits = data.size() * 8;
  const std::size_t used = expected.size() * 8 + bits;
  put(0, static_cast<int>(std::min<std::size_t>(4, capacityBits - used)));
  if (bits != 0) {
    put(0, 8 - bits);
  }
  for (int pad = 0; expected.size() < data.size(); ++pad) {
    expected.push_back(pad % 2 == 0 ? 0xEC : 0x11);
  }
  CHECK(expected == data);
}

std::uint8_t GfMultiply(std::uint8_t a, std::uint8_t b) {
  unsigned product = 0;
  unsigned x = a;
  for (; b != 0; b >>= 1) {
    if (b & 1) {
      product ^= x;
    }
    x <<= 1;
    if (x & 0x100) {
      x ^= 0x11D;
    }
  }
  return static_cast<std::uint8_t>(product);
}

// Splits the read codewords into blocks and checks that each block, data
// then error correction, vanishes at alpha^0 .. alpha^(e-1). Returns the
// data codewords in block order.
std::vector<std::uint8_t> CheckBlocks(const std::vector<std::uint8_t>& codewords, int version,
                                      int level) {
  const BlockLayoutEntry& layout = BlockLayoutFor(version, level);
  const int blockCount = layout.blocks1 + layout.blocks2;
  const int eccPerBlock = layout.total1 - layout.data1;
  CHECK(layout.blocks2 == 0 || layout.total2 - layout.data2 == eccPerBlock);
  std::vector<std::vector<std::uint8_t>> data(blockCount);
  std::vector<std::vector<std::uint8_t>> ecc(blockCount);
  std::size_t next = 0;
  const int longest = layout.blocks2 ? layout.data2 : layout.data1;
  for (int i = 0; i < longest; ++i) {
    for (int b = 0; b < blockCount; ++b) {
      if (i < (b < layout.blocks1 ? layout.data1 : layout.data2)) {
        data[b].push_back(codewords.at(next++));
      }
    }
  }
  for (int i = 0; i < eccPerBlock; ++i) {
    for (int b = 0; b < blockCount; ++b) {
      ecc[b].push_back(codewords.at(next++));
    }
  }
  CHECK(next == codewords.size());
  std::vector<std::uint8_t> allData;
  for (int b = 0; b < blockCount; ++b) {
    std::vector<std::uint8_t> block = data[b];
    block.insert(block.end(), ecc[b].begin(), ecc[b].end());
    std::uint8_t root = 1;
    for (int i = 0; i < eccPerBlock; ++i) {
      std::uint8_t value = 0;
      for (const std::uint8_t c : block) {
        value = GfMultiply(value, root) ^ c;
      }
      CHECK(value == 0);
      root = GfMultiply(root, 2);
    }
    allData.insert(allData.end(), data[b].begin(), data[b].end());
  }
  return allData;
}

void CheckBitmap(const Bytes& file, int version) {
  const int n = SymbolSize(version);
  const int side = n + 8;
  CHECK(file.size() == static_cast<std::size_t>(62 + side * ((side + 31) / 32 * 4)));
  const Bitmap bitmap = ReadBitmap(file);
  CHECK(bitmap.width == side && bitmap.height == side);
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const bool quiet = x < 4 || y < 4 || x >= n + 4 || y >= n + 4;
      CHECK(bitmap.White(x, y) == (quiet || !Dark(y - 4, x - 4)));
    }
  }
}

void CheckAll(const std::string& text, int level, int result, const Bytes& file) {
  const int version = result;
  const int length = static_cast<int>(text.size());
  CHECK(version >= 1 && version <= kMaxVersion);
  CHECK(length <= ByteCapacity(version, level));
  CHECK(version == 1 || length > ByteCapacity(version - 1, level));
  CHECK(encodeState.version == version && encodeState.level == level);
  const int mask = encodeState.maskIndex;
  CHECK(mask < 8);

  const int n = SymbolSize(version);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      const std::uint8_t module = encodeState.matrix[r * GRID_STRIDE + c];
      CHECK(module == MODULE_DARK || module == MODULE_LIGHT);
    }
  }
  CheckFunctionPatterns(version);
  CheckFormatAndVersionInfo(version, level, mask);
  const std::vector<std::uint8_t> data =
      CheckBlocks(ReadCodewords(version, mask, TotalCodewords(version)), version, level);
  CHECK(static_cast<int>(data.size()) == DataCodewords(version, level));
  CheckDataCodewords(data, text, version);
  CheckBitmap(file, version);
}

}  // namespace

int TotalCodewords(int version) {
  const std::vector<bool> function = FunctionModules(version);
  return static_cast<int>(std::count(function.begin(), function.end(), false)) / 8;
}

int DataCodewords(int version, int level) {
  const BlockLayoutEntry& b = BlockLayoutFor(version, level);
  return TotalCodewords(version) - (b.blocks1 + b.blocks2) * (b.total1 - b.data1);
}

int ByteCapacity(int version, int level) {
  return (DataCodewords(version, level) * 8 - 4 - (version < 10 ? 8 : 16)) / 8;
}

std::uint32_t BchRemainder(std::uint32_t value, std::uint32_t generator, int generatorBits) {
  for (int bit = 31; bit >= generatorBits - 1; --bit) {
    if (value >> bit & 1) {
      value ^= generator << (bit - (generatorBits - 1));
    }
  }
  return value;
}

std::string CheckSymbol(const std::string& text, int level, int result, const Bytes& file) {
  try {
    CheckAll(text, level, result, file);
  } catch (const std::runtime_error& broken) {
    return broken.what();
  }
  return "";
}

}  // namespace qrtest
