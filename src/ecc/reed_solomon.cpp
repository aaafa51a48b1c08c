// Step 5: error-correction codewords for every block.
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
  int result = 0;
  for (int b = 0; b < state.group1BlockCount; ++b) {
    result += EncodeBlock(ecc, data, layout.total1, layout.data1);
    data += layout.data1;
    ecc += layout.total1 - layout.data1;
  }
  for (int b = 0; b < state.group2BlockCount; ++b) {
    result += EncodeBlock(ecc, data, layout.total2, layout.data2);
    data += layout.data2;
    ecc += layout.total2 - layout.data2;
  }
  return result;
}

}  // namespace qrimage
