// GF(256) arithmetic by table look-up. Inside the encoder an element is
// held in "log-plus-one" form: 0 is the zero element and k (1..255) is
// alpha^(k-1), so every byte is an element and products never branch.
#ifndef QRIMAGE_SRC_ECC_GALOIS_H
#define QRIMAGE_SRC_ECC_GALOIS_H

#include <cstdint>

namespace qrimage {

struct GaloisTables {
  std::uint8_t expTable[256];       // log-plus-one form -> field value
  std::uint8_t logTable[256];       // field value -> log-plus-one form
  std::uint8_t addTable[256][256];  // sum of two elements, all in log-plus-one form
  std::uint8_t mulTable[256][256];  // product of two elements, likewise
};

extern GaloisTables galoisTables;
// 0 until InitGaloisTables has filled every table, then 1 for good.
extern std::uint8_t galoisTablesReady;

// Field polynomial x^8 + x^4 + x^3 + x^2 + 1; alpha is 2.
constexpr unsigned kFieldPolynomial = 0x11D;

void InitGaloisTables();

}  // namespace qrimage

#endif
