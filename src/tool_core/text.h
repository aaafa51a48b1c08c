// The one reader of the text's characters: strict UTF-8 decoding, and the
// one choice of the character set the symbols hold a text in, made once
// and carried with the text's bytes from then on.
#ifndef QRIMAGE_SRC_TOOL_CORE_TEXT_H
#define QRIMAGE_SRC_TOOL_CORE_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qrimage {

// Whether `byte` continues a UTF-8 character rather than starting one.
constexpr bool ContinuesCharacter(std::uint8_t byte) {
  return (byte & 0xC0) == 0x80;
}

// Decodes the character at text[at], strictly: no overlong forms, no
// surrogates, nothing above U+10FFFF. Returns its length in bytes, or 0
// when the bytes there are not UTF-8.
int DecodeUtf8(std::string_view text, std::size_t at, char32_t& character);

// How the text's characters become bytes in the symbol.
enum class Charset : std::uint8_t {
  kAsGiven,   // its own bytes: ASCII, not UTF-8, or --bytes
  kLatin1,    // converted from UTF-8 to ISO-8859-1, unmarked
  kUtf8Eci,   // UTF-8 behind the ECI designator that names it
  kShiftJis,  // converted from UTF-8 to Shift JIS, unmarked: ASCII and Kanji segments
};

// The character set asked for.
enum class CharsetChoice : std::uint8_t {
  kDefault,  // ASCII as is, UTF-8 beyond ASCII behind the ECI or in Shift JIS
             // (whichever the planner finds smaller), other bytes as given
  kLatin1,   // ISO-8859-1, or refuse
  kUtf8Eci,  // UTF-8 behind the ECI, or refuse
  kBytes,    // the bytes as given, in one byte segment
};

// The text as the symbols hold it.
struct SymbolText {
  std::string bytes;
  Charset charset = Charset::kAsGiven;

  bool Eci() const { return charset == Charset::kUtf8Eci; }
  // Whether a sequence is cut only between UTF-8 characters, so that each
  // symbol holds whole characters of the character set it names.
  bool WholeUtf8() const { return charset == Charset::kUtf8Eci; }
  // Whether the bytes are Shift JIS, their two-byte characters for Kanji
  // segments; a sequence is then cut only between characters.
  bool ShiftJis() const { return charset == Charset::kShiftJis; }
};

// Where a text is not what the choice takes: the byte offset of the first
// offending character, and with `length` 0 the bytes there are not UTF-8;
// otherwise the character (of `length` bytes) lies outside ISO-8859-1.
struct TextFault {
  std::size_t at = 0;
  char32_t character = 0;
  int length = 0;
};

// Reads `text` as `choice` asks into `read`. UTF-8 texts lose a leading
// byte-order mark, which only says that they are UTF-8. False, with
// `fault` set, when --latin1 or --eci cannot take the text.
bool ReadText(std::string_view text, CharsetChoice choice, SymbolText& read, TextFault& fault);

// The UTF-8 text `utf8` in Shift JIS, for a symbol without an ECI header:
// false when a character has no Kanji mode code (kanji.h) or is `\` or `~`,
// which readers show as other characters once a symbol has Kanji segments.
bool ToShiftJis(const SymbolText& utf8, SymbolText& shiftJis);

}  // namespace qrimage

#endif
