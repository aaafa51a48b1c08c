// Reed-Solomon generator polynomials g(x) = (x - alpha^0)(x - alpha^1)...
// (x - alpha^(m-1)), computed by the compiler from the product rule.
#ifndef QRIMAGE_SRC_ECC_GENERATOR_POLYNOMIALS_H
#define QRIMAGE_SRC_ECC_GENERATOR_POLYNOMIALS_H

#include <array>
#include <cstdint>

#include "ecc/galois.h"

namespace qrimage {

constexpr int kGeneratorPolynomialCount = 36;
constexpr int kMaxGeneratorDegree = 68;

// Degrees held, ascending. Only 7, 10, 13, 15 ... 30 occur in real symbols.
inline constexpr std::uint8_t kGeneratorDegrees[kGeneratorPolynomialCount] = {
    2,  5,  6,  7,  8,  10, 13, 14, 15, 16, 17, 18, 20, 22, 24, 26, 28, 30,
    32, 34, 36, 40, 42, 44, 46, 48, 50, 52, 54, 56, 58, 60, 62, 64, 66, 68};

// Byte 0 is the degree m; bytes 1..m are g_0 .. g_(m-1), constant term
// first, in log-plus-one form. The leading 1 of x^m is implied.
using GeneratorPolynomial = std::array<std::uint8_t, kMaxGeneratorDegree + 1>;

namespace detail {

constexpr std::uint8_t FieldMultiply(std::uint8_t a, std::uint8_t b) {
  unsigned product = 0;
  unsigned shifted = a;
  for (unsigned bits = b; bits != 0; bits >>= 1) {
    if (bits & 1) {
      product ^= shifted;
    }
    shifted <<= 1;
    if (shifted & 0x100) {
      shifted ^= kFieldPolynomial;
    }
  }
  return static_cast<std::uint8_t>(product);
}

// Log-plus-one form of a field value.
constexpr std::uint8_t LogPlusOne(std::uint8_t value) {
  if (value == 0) {
    return 0;
  }
  std::uint8_t power = 1;
  for (int k = 1;; ++k) {
    if (power == value) {
      return static_cast<std::uint8_t>(k);
    }
    power = FieldMultiply(power, 2);
  }
}

constexpr GeneratorPolynomial MakeGeneratorPolynomial(int degree) {
  std::array<std::uint8_t, kMaxGeneratorDegree + 1> coefficients{};  // field values
  coefficients[0] = 1;
  std::uint8_t root = 1;  // alpha^i
  for (int i = 0; i < degree; ++i) {
    // Multiply by (x + alpha^i); in GF(2^8) subtraction is addition.
    for (int k = i + 1; k >= 1; --k) {
      coefficients[k] = coefficients[k - 1] ^ FieldMultiply(root, coefficients[k]);
    }
    coefficients[0] = FieldMultiply(root, coefficients[0]);
    root = FieldMultiply(root, 2);
  }
  GeneratorPolynomial polynomial{};
  polynomial[0] = static_cast<std::uint8_t>(degree);
  for (int k = 0; k < degree; ++k) {
    polynomial[k + 1] = LogPlusOne(coefficients[k]);
  }
  return polynomial;
}

constexpr std::array<GeneratorPolynomial, kGeneratorPolynomialCount> MakeGeneratorPolynomials() {
  std::array<GeneratorPolynomial, kGeneratorPolynomialCount> list{};
  for (int i = 0; i < kGeneratorPolynomialCount; ++i) {
    list[i] = MakeGeneratorPolynomial(kGeneratorDegrees[i]);
  }
  return list;
}

}  // namespace detail

inline constexpr std::array<GeneratorPolynomial, kGeneratorPolynomialCount> kGeneratorPolynomials =
    detail::MakeGeneratorPolynomials();

}  // namespace qrimage

#endif
