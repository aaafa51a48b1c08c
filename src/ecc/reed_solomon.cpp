// Error-correction codewords for every block.
#include "ecc/block_layout.h"
#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "ecc/generator_polynomials.h"
#include "state/encode_state.h"

#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define QRIMAGE_RS_SSE2 1
#endif

namespace qrimage {
namespace {

// Below this many division steps times coefficients in a symbol, building
// the product table (256 rows) costs more than it saves: the small
// versions divide straight through the field tables.
constexpr int kProductTableMinWork = 700;

ProductTable productTable;

const GeneratorPolynomial* FindGeneratorPolynomial(int degree) {
  for (const GeneratorPolynomial& polynomial : kGeneratorPolynomials) {
    if (polynomial[0] == degree) {
      return &polynomial;
    }
  }
  return nullptr;
}

// Two blocks of the same size at once, step for step as EncodeBlock does
// each. The division of one block is a chain of dependent look-ups (each
// feedback needs the previous step's top coefficient); two independent
// chains side by side keep the processor busy while either waits.
void EncodeBlockPair(std::uint8_t* eccOut, const std::uint8_t* data, int m, int dataCount,
                     const std::uint8_t* g) {
  const GaloisTables& t = galoisTables;
  std::uint8_t a[kMaxGeneratorDegree] = {};  // remainder of the first block
  std::uint8_t b[kMaxGeneratorDegree] = {};  // and of the second
  const std::uint8_t* dataB = data + dataCount;
  for (int j = 0; j < dataCount; ++j) {
    const std::uint8_t* productA = t.mulTable[t.addTable[t.logTable[data[j]]][a[m - 1]]];
    const std::uint8_t* productB = t.mulTable[t.addTable[t.logTable[dataB[j]]][b[m - 1]]];
    for (int k = m - 1; k >= 1; --k) {
      a[k] = t.addTable[productA[g[k]]][a[k - 1]];
      b[k] = t.addTable[productB[g[k]]][b[k - 1]];
    }
    a[0] = productA[g[0]];
    b[0] = productB[g[0]];
  }
  for (int i = 0; i < m; ++i) {
    eccOut[i] = t.expTable[a[m - 1 - i]];
    eccOut[m + i] = t.expTable[b[m - 1 - i]];
  }
}

// The blocks of one group, in pairs while two are left; the cursors
// advance as for good blocks whatever happens. Returns the sum of the
// blocks' results.
int EncodeGroup(std::uint8_t*& ecc, const std::uint8_t*& data, int blocks, int total,
                int dataCount) {
  const int m = total - dataCount;
  const GeneratorPolynomial* found = FindGeneratorPolynomial(m);
  int result = 0;
  int b = 0;
  for (; found != nullptr && b + 2 <= blocks; b += 2) {
    EncodeBlockPair(ecc, data, m, dataCount, found->data() + 1);
    data += 2 * dataCount;
    ecc += 2 * m;
  }
  for (; b < blocks; ++b) {
    result += EncodeBlock(ecc, data, total, dataCount);
    data += dataCount;
    ecc += m;
  }
  return result;
}

#if QRIMAGE_RS_SSE2
// The register in `Registers` 16-byte halves (one for m <= 16), two blocks
// side by side so that one block's load overlaps the other's.
template <int Registers>
void EncodePairSse2(const ProductTable& table, std::uint8_t* eccA, std::uint8_t* eccB,
                    const std::uint8_t* data, const std::uint8_t* dataB, int dataCount) {
  __m128i a0 = _mm_setzero_si128(), a1 = _mm_setzero_si128();
  __m128i b0 = _mm_setzero_si128(), b1 = _mm_setzero_si128();
  for (int j = 0; j < dataCount; ++j) {
    const auto* rowA = reinterpret_cast<const __m128i*>(
        table.row[data[j] ^ static_cast<std::uint8_t>(_mm_cvtsi128_si32(a0))]);
    const auto* rowB = reinterpret_cast<const __m128i*>(
        table.row[dataB[j] ^ static_cast<std::uint8_t>(_mm_cvtsi128_si32(b0))]);
    if constexpr (Registers == 2) {
      a0 = _mm_xor_si128(_mm_or_si128(_mm_srli_si128(a0, 1), _mm_slli_si128(a1, 15)),
                         _mm_load_si128(rowA));
      b0 = _mm_xor_si128(_mm_or_si128(_mm_srli_si128(b0, 1), _mm_slli_si128(b1, 15)),
                         _mm_load_si128(rowB));
      a1 = _mm_xor_si128(_mm_srli_si128(a1, 1), _mm_load_si128(rowA + 1));
      b1 = _mm_xor_si128(_mm_srli_si128(b1, 1), _mm_load_si128(rowB + 1));
    } else {
      a0 = _mm_xor_si128(_mm_srli_si128(a0, 1), _mm_load_si128(rowA));
      b0 = _mm_xor_si128(_mm_srli_si128(b0, 1), _mm_load_si128(rowB));
    }
  }
  alignas(16) std::uint8_t r[4 * 16];
  _mm_store_si128(reinterpret_cast<__m128i*>(r), a0);
  _mm_store_si128(reinterpret_cast<__m128i*>(r + 16), a1);
  _mm_store_si128(reinterpret_cast<__m128i*>(r + 32), b0);
  _mm_store_si128(reinterpret_cast<__m128i*>(r + 48), b1);
  const int m = table.m;
  std::memcpy(eccA, r, m);
  std::memcpy(eccB, r + 32, m);
}

template <int Registers>
void EncodeBlocksSse2(const ProductTable& table, std::uint8_t* eccOut, const std::uint8_t* data,
                      int blocks, int dataCount) {
  const int m = table.m;
  int b = 0;
  for (; b + 2 <= blocks; b += 2) {
    const std::uint8_t* blockData = data + b * dataCount;
    EncodePairSse2<Registers>(table, eccOut + b * m, eccOut + (b + 1) * m, blockData,
                              blockData + dataCount, dataCount);
  }
  if (b < blocks) {
    // A last block alone runs as both blocks of a pair.
    std::uint8_t copy[kProductRowBytes];
    const std::uint8_t* blockData = data + b * dataCount;
    EncodePairSse2<Registers>(table, eccOut + b * m, copy, blockData, blockData, dataCount);
  }
}
#endif

}  // namespace

bool BuildProductTable(int m, ProductTable& table) {
  const GeneratorPolynomial* found = FindGeneratorPolynomial(m);
  if (found == nullptr || m > kProductRowBytes) {
    return false;
  }
  const std::uint8_t* g = found->data() + 1;
  table.m = m;
  std::memset(table.row[0], 0, kProductRowBytes);
  std::memset(table.row[1], 0, kProductRowBytes);
  for (int i = 0; i < m; ++i) {
    table.row[1][i] = galoisTables.expTable[g[m - 1 - i]];
  }
  // Row 2f is row f times alpha, byte by byte.
  for (int f = 2; f < 256; f <<= 1) {
    for (int i = 0; i < kProductRowBytes; ++i) {
      const unsigned doubled = table.row[f / 2][i] << 1;
      table.row[f][i] =
          static_cast<std::uint8_t>(doubled ^ ((doubled & 0x100) ? kFieldPolynomial : 0));
    }
  }
  // Any other row is the sum of the row of its lowest bit and the rest.
  for (int f = 3; f < 256; ++f) {
    const int low = f & -f;
    if (low == f) {
      continue;
    }
    for (int i = 0; i < kProductRowBytes; ++i) {
      table.row[f][i] = table.row[low][i] ^ table.row[f - low][i];
    }
  }
  return true;
}

void EncodeBlocksByTable(const ProductTable& table, std::uint8_t* eccOut, const std::uint8_t* data,
                         int blocks, int dataCount) {
#if QRIMAGE_RS_SSE2
  if (table.m <= 16) {
    EncodeBlocksSse2<1>(table, eccOut, data, blocks, dataCount);
  } else {
    EncodeBlocksSse2<2>(table, eccOut, data, blocks, dataCount);
  }
#else
  EncodeBlocksByTableScalar(table, eccOut, data, blocks, dataCount);
#endif
}

int EncodeBlock(std::uint8_t* eccOut, const std::uint8_t* data, int total, int dataCount) {
  const int m = total - dataCount;
  const GeneratorPolynomial* found = FindGeneratorPolynomial(m);
  if (found == nullptr) {
    return -1;
  }
  const std::uint8_t* g = found->data() + 1;  // g[k] is the coefficient of x^k
  const GaloisTables& t = galoisTables;

  // Division register of the remainder, R[k] the coefficient of x^k, in
  // log-plus-one form. Each data codeword shifts it by one place.
  std::uint8_t remainder[kMaxGeneratorDegree] = {};
  for (int j = 0; j < dataCount; ++j) {
    const std::uint8_t feedback = t.addTable[t.logTable[data[j]]][remainder[m - 1]];
    const std::uint8_t* product = t.mulTable[feedback];
    for (int k = m - 1; k >= 1; --k) {
      remainder[k] = t.addTable[product[g[k]]][remainder[k - 1]];
    }
    remainder[0] = product[g[0]];
  }
  for (int i = 0; i < m; ++i) {
    eccOut[i] = t.expTable[remainder[m - 1 - i]];
  }
  return 0;
}

int ComputeErrorCorrection(EncodeState& state) {
  const BlockLayoutEntry& layout = BlockLayoutFor(state.version, state.level);
  state.group1BlockCount = layout.blocks1;
  state.group1EccTotal = layout.blocks1 * (layout.total1 - layout.data1);
  state.group2BlockCount = layout.blocks2;
  state.group2EccTotal = layout.blocks2 * (layout.total2 - layout.data2);
  state.eccCodewordCount = state.group1EccTotal + state.group2EccTotal;

  const std::uint8_t* data = state.dataCodewords;
  std::uint8_t* ecc = state.eccCodewords;
  const int m = layout.total1 - layout.data1;  // the same in both groups
  const int dataTotal = layout.blocks1 * layout.data1 + layout.blocks2 * layout.data2;
  if (dataTotal * m >= kProductTableMinWork && BuildProductTable(m, productTable)) {
    EncodeBlocksByTable(productTable, ecc, data, layout.blocks1, layout.data1);
    EncodeBlocksByTable(productTable, ecc + state.group1EccTotal,
                        data + layout.blocks1 * layout.data1, layout.blocks2, layout.data2);
    return 0;
  }
  int result = EncodeGroup(ecc, data, state.group1BlockCount, layout.total1, layout.data1);
  result += EncodeGroup(ecc, data, state.group2BlockCount, layout.total2, layout.data2);
  return result;
}

}  // namespace qrimage
