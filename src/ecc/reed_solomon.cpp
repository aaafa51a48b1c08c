// Error-correction codewords for every block.
#include "api/encode_state.h"
#include "ecc/block_layout.h"
#include "ecc/error_correction.h"
#include "ecc/galois.h"
#include "ecc/generator_polynomials.h"

namespace qrimage {
namespace {

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

}  // namespace

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
  int result = EncodeGroup(ecc, data, state.group1BlockCount, layout.total1, layout.data1);
  result += EncodeGroup(ecc, data, state.group2BlockCount, layout.total2, layout.data2);
  return result;
}

}  // namespace qrimage
