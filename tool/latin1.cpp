#include "latin1.h"

#include <cstdint>
#include <cstdio>

namespace qrtool {
namespace {

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// Decodes the character at text[at], strictly: no overlong forms, no
// surrogates, nothing above U+10FFFF. Returns its length in bytes, or 0
// when the bytes there are not UTF-8.
int DecodeCharacter(std::string_view text, std::size_t at, char32_t& character) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  int length;
  char32_t minimum;
  if (lead < 0x80) {
    character = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, character = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, character = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, character = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - at < static_cast<std::size_t>(length)) {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return 0;
    }
    character = character << 6 | (byte(at + i) & 0x3F);
  }
  const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
  return character < minimum || surrogate || character > 0x10FFFF ? 0 : length;
}

}  // namespace

bool ConvertToLatin1(std::string& text, std::string& error) {
  std::string converted;
  converted.reserve(text.size());
  // A leading byte-order mark only says that the text is UTF-8.
  const std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  const std::size_t first = std::string_view(text).starts_with(kByteOrderMark) ? 3 : 0;
  // Positions in messages count from 1, like line numbers.
  for (std::size_t at = first; at < text.size();) {
    char32_t character = 0;
    const int length = DecodeCharacter(text, at, character);
    if (length == 0) {
      error = "--latin1: the text is not valid UTF-8 (byte 0x" +
              Hex(static_cast<std::uint8_t>(text[at]), 2) + " at byte " + std::to_string(at + 1) +
              ")";
      return false;
    }
    if (character > 0xFF) {
      error = "--latin1: character U+" + Hex(character, 4) + " '" + text.substr(at, length) +
              "' at byte " + std::to_string(at + 1) +
              " is not in ISO-8859-1; without --latin1 the text is written as UTF-8 bytes";
      return false;
    }
    converted += static_cast<char>(character);
    at += length;
  }
  text.swap(converted);
  return true;
}

}  // namespace qrtool
