// The four field tables, built by the first call.
#include "ecc/galois.h"

namespace qrimage {

GaloisTables galoisTables;
std::uint8_t galoisTablesReady;

void InitGaloisTables() {
  GaloisTables& t = galoisTables;

  t.expTable[0] = 0;
  unsigned value = 1;
  for (int k = 1; k <= 255; ++k) {
    t.expTable[k] = static_cast<std::uint8_t>(value);
    value <<= 1;
    if (value & 0x100) {
      value ^= kFieldPolynomial;
    }
  }

  for (int k = 0; k <= 255; ++k) {
    t.logTable[t.expTable[k]] = static_cast<std::uint8_t>(k);
  }

  for (int a = 0; a <= 255; ++a) {
    for (int b = 0; b <= 255; ++b) {
      t.addTable[a][b] = t.logTable[t.expTable[a] ^ t.expTable[b]];
      // Exponents a-1 and b-1 add modulo 255; +1 returns to log-plus-one.
      t.mulTable[a][b] = (a == 0 || b == 0) ? 0 : static_cast<std::uint8_t>((a + b - 2) % 255 + 1);
    }
  }
}

}  // namespace qrimage
