#include "job.h"

#include <cstdint>
#include <new>

#include "api/encode.h"
#include "qrimage.h"
#include "report.h"

namespace qrtool {

using qrimage::kLevelLetters;

namespace {

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

// --eci and --latin1 take the text as UTF-8: checks it and drops a
// leading byte-order mark, which only says that the text is UTF-8. With
// --latin1 it is rewritten in ISO-8859-1, the character set readers assume
// for bytes without an ECI designator, when every character is below
// U+0100. Otherwise leaves it alone, sets `error` to a message naming the
// first offending byte or character, and returns false.
bool ReadUtf8(std::string& text, bool toLatin1, std::string& error) {
  const char* const option = toLatin1 ? "--latin1: " : "--eci: ";
  std::string latin1;
  const std::size_t first = std::string_view(text).starts_with("\xEF\xBB\xBF") ? 3 : 0;
  // Positions in messages count from 1, like line numbers.
  for (std::size_t at = first; at < text.size();) {
    char32_t character = 0;
    const int length = DecodeCharacter(text, at, character);
    if (length == 0) {
      error = option + std::string("the text is not valid UTF-8 (byte 0x") +
              Hex(static_cast<std::uint8_t>(text[at]), 2, true) + " at byte " +
              std::to_string(at + 1) + ")";
      return false;
    }
    if (toLatin1 && character > 0xFF) {
      error = option + std::string("character U+") + Hex(character, 4, true) + " '" +
              text.substr(at, length) + "' at byte " + std::to_string(at + 1) +
              " is not in ISO-8859-1; without --latin1 the text is written as UTF-8 bytes";
      return false;
    }
    if (toLatin1) {
      latin1 += static_cast<char>(character);
    }
    at += length;
  }
  text = toLatin1 ? latin1 : text.substr(first);
  return true;
}

}  // namespace

std::string TooLongMessage(std::size_t length, const Job& job) {
  const auto longest = [&](int level) {
    return static_cast<std::size_t>(qrimage::ByteCapacity(qrimage::kMaxVersion, level, job.eci));
  };
  const std::string size = length > kMaxInputBytes ? "more than " + std::to_string(kMaxInputBytes)
                                                   : std::to_string(length);
  // The ECI header's 12 bits cost every level a byte.
  std::string message = "the text is " + size + " bytes; " +
                        (job.eci ? "behind the ECI header of --eci, " : "") + "level " +
                        kLevelLetters[job.level] + " holds at most " +
                        std::to_string(longest(job.level)) + " bytes";
  // Point to the strongest level that would still take the text.
  for (int lower = job.level - 1; lower >= 0; --lower) {
    if (length <= longest(lower)) {
      message += " (level " + std::string(1, kLevelLetters[lower]) + " holds " +
                 std::to_string(longest(lower)) + ")";
      break;
    }
  }
  return message;
}

int Produce(std::string& text, const Job& job, Result& result, std::string& error) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    error = "the text contains a NUL byte (at byte " + std::to_string(nul + 1) +
            "); it cannot be encoded, as the library would end the text there";
    return kNulByte;
  }
  if ((job.latin1 || job.eci) && !ReadUtf8(text, job.latin1, error)) {
    return kNotUtf8;
  }
  result.textBytes = text.size();

  // The library hands over a copy of the symbol: the rendering below holds
  // up no other caller. The level and the floor are checked as they are
  // read, and the NUL byte above: the library's input error is the length.
  qrimage::Symbol encoded;
  const int version = qrimage::Encode(text.data(), text.size(), kLevelLetters[job.level],
                                      qrimage::EncodeOptions{job.minVersion, job.eci}, encoded);
  if (version == QRIMAGE_ERROR_INPUT) {
    error = TooLongMessage(text.size(), job);
    return kTextTooLong;
  }
  if (version < QRIMAGE_VERSION_MIN || version > QRIMAGE_VERSION_MAX) {
    error = "error correction failed (result " + std::to_string(version) + ")";
    return kEncodingFailed;
  }
  result.version = version;
  if (!PictureFits(job.type, job.image, encoded.size, &error)) {
    return kUsage;
  }
  const SymbolView symbol{encoded.modules, encoded.size, encoded.size};
  try {
    if (!RenderImage(symbol, job.type, job.image, &result.file, &error)) {
      return kCannotWrite;
    }
    result.preview = job.preview ? RenderHalfBlocks(symbol, job.previewColours, 1, job.image.margin)
                                 : std::string();
  } catch (const std::bad_alloc&) {
    result.file = std::string();
    if (!HoldMemoryReserve()) {
      throw;
    }
    error = "out of memory for the picture";
    return kCannotWrite;
  }
  return kOk;
}

}  // namespace qrtool
