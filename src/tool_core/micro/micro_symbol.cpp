#include "tool_core/micro/micro_symbol.h"

#include <algorithm>
#include <cstdlib>

#include "ecc/generator_polynomials.h"
#include "tool_core/segments/segment_stream.h"
#include "tool_core/segments/segment_table.h"

namespace qrimage {

namespace {

constexpr int kMaxSize = MicroSymbolSize(kMicroMaxVersion);
// BCH(15,5) generator, as for QR; the mask of the finished word differs.
constexpr std::uint16_t kFormatGenerator = 0x537;
constexpr std::uint16_t kFormatMask = 0x4445;
constexpr int kFormatDataBits = 5;
constexpr int kMaskBits = 2;

// The remainder of data(x) x^count over the generator whose roots are
// alpha^0 to alpha^(count - 1).
std::vector<std::uint8_t> ErrorCorrection(const std::vector<std::uint8_t>& data, int count) {
  std::vector<std::uint8_t> generator(1, 1);  // highest power first
  std::uint8_t root = 1;
  for (int i = 0; i < count; ++i, root = detail::FieldMultiply(root, 2)) {
    generator.push_back(0);
    for (std::size_t k = generator.size() - 1; k > 0; --k) {
      generator[k] ^= detail::FieldMultiply(generator[k - 1], root);
    }
  }
  std::vector<std::uint8_t> remainder(count, 0);
  for (const std::uint8_t codeword : data) {
    const std::uint8_t factor = codeword ^ remainder[0];
    std::rotate(remainder.begin(), remainder.begin() + 1, remainder.end());
    remainder.back() = 0;
    for (int k = 0; k < count; ++k) {
      remainder[k] ^= detail::FieldMultiply(generator[k + 1], factor);
    }
  }
  return remainder;
}

// Function modules: the finder, its separator and the format information
// fill the top-left 9 x 9, the timing patterns row 0 and column 0.
bool IsFunction(int row, int column) {
  return (row <= 8 && column <= 8) || row == 0 || column == 0;
}

bool MaskCondition(int mask, int i, int j) {
  switch (mask) {
    case 0:
      return i % 2 == 0;
    case 1:
      return (i / 2 + j / 3) % 2 == 0;
    case 2:
      return (i * j % 2 + i * j % 3) % 2 == 0;
    default:
      return ((i + j) % 2 + i * j % 3) % 2 == 0;
  }
}

struct Grid {
  int size;
  bool dark[kMaxSize][kMaxSize];
};

void PlaceFunctionPatterns(Grid& grid) {
  for (int r = 0; r < 7; ++r) {
    for (int c = 0; c < 7; ++c) {
      grid.dark[r][c] = std::max(std::abs(r - 3), std::abs(c - 3)) != 2;
    }
  }
  for (int k = 8; k < grid.size; ++k) {
    grid.dark[0][k] = grid.dark[k][0] = k % 2 == 0;
  }
}

// Two columns at a time from the right, up then down, right column first.
bool PlaceCodewords(Grid& grid, const std::vector<std::uint8_t>& codewords, int halfCodeword) {
  const int n = grid.size;
  std::size_t index = 0;
  int bit = 7;
  for (int right = n - 1, upward = 1; right > 0; right -= 2, upward ^= 1) {
    for (int k = 0; k < n; ++k) {
      const int row = upward != 0 ? n - 1 - k : k;
      for (int column = right; column > right - 2; --column) {
        if (IsFunction(row, column)) {
          continue;
        }
        if (index == codewords.size()) {
          return false;
        }
        grid.dark[row][column] = (codewords[index] >> bit & 1) != 0;
        // The 4-bit codeword ends after its high half.
        const int last = static_cast<int>(index) == halfCodeword ? 4 : 0;
        if (bit-- == last) {
          ++index;
          bit = 7;
        }
      }
    }
  }
  return index == codewords.size();
}

void WriteMasked(const Grid& placed, int mask, int symbolNumber, Symbol& symbol) {
  const int n = placed.size;
  const std::uint16_t format = MicroFormatWord(symbolNumber, mask);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      bool dark = placed.dark[r][c];
      if (!IsFunction(r, c)) {
        dark ^= MaskCondition(mask, r, c);
      } else if (r == 8 && c >= 1) {
        dark = (format >> (15 - c) & 1) != 0;  // bits 14 to 7 along row 8
      } else if (c == 8 && r >= 1 && r < 8) {
        dark = (format >> (r - 1) & 1) != 0;  // bits 6 to 0 up column 8
      }
      symbol.modules[r * n + c] = dark ? MODULE_DARK : MODULE_LIGHT;
    }
  }
}

}  // namespace

std::vector<std::uint8_t> MicroCodewords(const std::uint8_t* text, const MicroPlan& plan) {
  const int capacity = MicroDataBits(plan.version, plan.level);
  if (capacity < 0) {
    return {};
  }
  std::vector<std::uint8_t> data(MicroDataCodewords(capacity), 0);
  BitWriter bits(data.data());
  std::int64_t total = 0;
  for (const Segment& segment : plan.segments) {
    const auto count = static_cast<std::uint32_t>(Characters(segment.mode, segment.length));
    const std::int64_t segmentBits = MicroSegmentBits(segment.mode, count, plan.version);
    total += segmentBits;
    if (segmentBits < 0 || total > capacity || !FitsMode(text, segment)) {
      return {};
    }
    bits.Put(segment.mode, MicroModeIndicatorBits(plan.version));
    bits.Put(count, MicroCountBits(segment.mode, plan.version));
    PutCharacters(bits, text + segment.start, segment);
  }
  // The terminator (zero bits, as many as fit), zero bits to the codeword's
  // end, then pad codewords; a last 4-bit codeword keeps its low half zero.
  const int terminator = 2 * plan.version + 1;
  bits.Put(0, std::min(terminator, capacity - bits.Bits()));
  bits.Align();
  for (int k = 0; bits.Bits() + 8 <= capacity; k ^= 1) {
    bits.Put(kPadCodewords[k], 8);
  }
  const std::vector<std::uint8_t> ecc =
      ErrorCorrection(data, MicroEccCodewords(plan.version, plan.level));
  data.insert(data.end(), ecc.begin(), ecc.end());
  return data;
}

std::uint16_t MicroFormatWord(int symbolNumber, int mask) {
  const unsigned value = static_cast<unsigned>(symbolNumber << kMaskBits | mask);
  unsigned remainder = value << 10;
  for (int bit = 14; bit >= 10; --bit) {
    if ((remainder >> bit & 1) != 0) {
      remainder ^= kFormatGenerator << (bit - 10);
    }
  }
  static_assert(kFormatDataBits + 10 == 15);
  return static_cast<std::uint16_t>((value << 10 | remainder) ^ kFormatMask);
}

int MicroMaskScore(const Symbol& symbol) {
  const int n = symbol.size;
  int right = 0;
  int bottom = 0;
  for (int k = 1; k < n; ++k) {
    right += symbol.modules[k * n + n - 1] == MODULE_DARK;
    bottom += symbol.modules[(n - 1) * n + k] == MODULE_DARK;
  }
  return right <= bottom ? right * 16 + bottom : bottom * 16 + right;
}

int EncodeMicro(const std::uint8_t* text, const MicroPlan& plan, int mask, Symbol& symbol) {
  const int symbolNumber = MicroSymbolNumber(plan.version, plan.level);
  if (symbolNumber < 0 || mask < kMicroEvaluatedMask || mask >= kMicroMaskCount) {
    return -1;
  }
  const std::vector<std::uint8_t> codewords = MicroCodewords(text, plan);
  if (codewords.empty()) {
    return -1;
  }
  const int dataBits = MicroDataBits(plan.version, plan.level);
  const int halfCodeword = dataBits % 8 != 0 ? dataBits / 8 : -1;
  Grid grid{};
  grid.size = MicroSymbolSize(plan.version);
  PlaceFunctionPatterns(grid);
  if (!PlaceCodewords(grid, codewords, halfCodeword)) {
    return -1;
  }
  symbol.version = plan.version;
  symbol.size = grid.size;
  if (mask == kMicroEvaluatedMask) {
    int best = -1;
    for (int m = 0; m < kMicroMaskCount; ++m) {
      WriteMasked(grid, m, symbolNumber, symbol);
      const int score = MicroMaskScore(symbol);
      if (score > best) {
        best = score;
        mask = m;
      }
    }
  }
  WriteMasked(grid, mask, symbolNumber, symbol);
  symbol.mask = mask;
  return mask;
}

}  // namespace qrimage
