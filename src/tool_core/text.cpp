#include "tool_core/text.h"

#include <algorithm>

#include "tool_core/segments/kanji.h"

namespace qrimage {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Checks `text` as UTF-8 from after any byte-order mark and, with
// `toLatin1`, rewrites it in ISO-8859-1 into `out`; otherwise `out` is the
// text without the mark. False, with `fault` set, at the first character
// that does not do.
bool ReadUtf8(std::string_view text, bool toLatin1, std::string& out, TextFault& fault) {
  std::string latin1;
  const std::size_t first = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  for (std::size_t at = first; at < text.size();) {
    char32_t character = 0;
    const int length = DecodeUtf8(text, at, character);
    if (length == 0 || (toLatin1 && character > 0xFF)) {
      fault = TextFault{at, character, length};
      return false;
    }
    if (toLatin1) {
      latin1 += static_cast<char>(character);
    }
    at += length;
  }
  out = toLatin1 ? latin1 : std::string(text.substr(first));
  return true;
}

}  // namespace

int DecodeUtf8(std::string_view text, std::size_t at, char32_t& character) {
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
    if (!ContinuesCharacter(byte(at + i))) {
      return 0;
    }
    character = character << 6 | (byte(at + i) & 0x3F);
  }
  const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
  return character < minimum || surrogate || character > 0x10FFFF ? 0 : length;
}

// By default a UTF-8 text beyond ASCII is written as UTF-8 behind the ECI
// designator: readers guess the character set of unmarked bytes beyond
// ASCII, and often guess wrong (PlanText may then choose ToShiftJis's
// form). ASCII texts and texts that are not valid UTF-8 keep their bytes,
// unmarked.
bool ReadText(std::string_view text, CharsetChoice choice, SymbolText& read, TextFault& fault) {
  read = SymbolText{};
  switch (choice) {
    case CharsetChoice::kLatin1:
    case CharsetChoice::kUtf8Eci: {
      const bool latin1 = choice == CharsetChoice::kLatin1;
      read.charset = latin1 ? Charset::kLatin1 : Charset::kUtf8Eci;
      return ReadUtf8(text, latin1, read.bytes, fault);
    }
    case CharsetChoice::kDefault: {
      TextFault unused;
      if (ReadUtf8(text, false, read.bytes, unused)) {
        const bool beyondAscii = std::any_of(read.bytes.begin(), read.bytes.end(), [](char c) {
          return static_cast<std::uint8_t>(c) >= 0x80;
        });
        read.charset = beyondAscii ? Charset::kUtf8Eci : Charset::kAsGiven;
        return true;
      }
      break;
    }
    case CharsetChoice::kBytes:
      break;
  }
  read.bytes = text;
  return true;
}

bool ToShiftJis(const SymbolText& utf8, SymbolText& shiftJis) {
  const std::string& text = utf8.bytes;
  shiftJis = SymbolText{std::string(), Charset::kShiftJis};
  std::string& out = shiftJis.bytes;
  for (std::size_t at = 0; at < text.size();) {
    char32_t character = 0;
    const int length = DecodeUtf8(text, at, character);
    const std::uint16_t code = length == 0 ? 0 : ShiftJisCode(character);
    if (length != 0 && character < 0x80 && character != '\\' && character != '~') {
      out += static_cast<char>(character);
    } else if (code != 0) {
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    } else {
      return false;
    }
    at += length;
  }
  return true;
}

}  // namespace qrimage
