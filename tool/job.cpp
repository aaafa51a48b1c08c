#include "job.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

#include "qrimage.h"
#include "report.h"
#include "tool_core/encode.h"

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

// --eci and --latin1 take the text as UTF-8, and so does the default
// choice of character set: checks it and drops a leading byte-order mark,
// which only says that the text is UTF-8. With `toLatin1` it is rewritten
// in ISO-8859-1 when every character is below U+0100. Otherwise leaves it
// alone, sets `error` to a message naming the first offending byte or
// character, and returns false.
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
      error = option + std::string("character U+") + Hex(character, 4, true) + " " +
              Printable(text.substr(at, length), true) + " at byte " + std::to_string(at + 1) +
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

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

// The character set `text` is written in, converting it to ISO-8859-1 for
// --latin1. By default a UTF-8 text beyond ASCII is written as UTF-8
// behind the ECI designator: readers guess the character set of unmarked
// bytes beyond ASCII, and often guess wrong. ASCII texts and
// texts that are not valid UTF-8 keep their bytes, unmarked; a leading
// byte-order mark is dropped from a UTF-8 text.
int ChooseCharset(std::string& text, const Job& job, Charset& charset, std::string& error) {
  charset = Charset::kAsGiven;
  if (job.latin1 || job.eci) {
    if (!ReadUtf8(text, job.latin1, error)) {
      return kNotUtf8;
    }
    charset = job.latin1 ? Charset::kLatin1 : Charset::kUtf8Eci;
  } else if (!job.bytes) {
    std::string unused;
    const bool beyondAscii =
        ReadUtf8(text, false, unused) && std::any_of(text.begin(), text.end(), [](char c) {
          return static_cast<std::uint8_t>(c) >= 0x80;
        });
    charset = beyondAscii ? Charset::kUtf8Eci : Charset::kAsGiven;
  }
  return kOk;
}

// The smallest symbol, or with --split the shortest sequence of versions
// up to `maxVersion`, that holds the text at the job's level; false when
// none does. A sequence is cut between the characters as the symbols hold
// them: behind the ECI header UTF-8 characters, else single bytes.
bool PlanText(const std::string& text, const Job& job, bool eci, int maxVersion,
              std::vector<qrimage::SymbolPlan>& plans) {
  if (job.split) {
    return qrimage::PlanSequence(Bytes(text), text.size(), job.level, job.minVersion, maxVersion,
                                 eci, eci, plans);
  }
  plans.assign(1, qrimage::SymbolPlan{});
  return job.bytes ? qrimage::PlanBytes(text.size(), job.level, job.minVersion, eci, plans[0])
                   : qrimage::PlanSymbol(Bytes(text), text.size(), job.level, job.minVersion, eci,
                                         plans[0]);
}

// "numeric+byte": the modes of the segments, in the order of the table.
std::string ModeNames(const std::vector<qrimage::SymbolPlan>& plans) {
  static constexpr const char* kNames[qrimage::kSegmentModeCount] = {"numeric", "alphanumeric",
                                                                     "byte"};
  bool used[qrimage::kSegmentModeCount] = {};
  for (const qrimage::SymbolPlan& plan : plans) {
    for (const qrimage::Segment& segment : plan.segments) {
      used[segment.mode] = true;
    }
  }
  std::string names;
  for (int mode = 0; mode < qrimage::kSegmentModeCount; ++mode) {
    if (used[mode]) {
      names.append(names.empty() ? "" : "+").append(kNames[mode]);
    }
  }
  return names;
}

// The picture options for a symbol of `size` modules: --size sets the
// side of SVG and PDF, and the largest scale that stays within it for the
// raster types. False, with `error` set, when one pixel per module at the
// resolution is too large already, for every type: a smaller picture
// cannot show the modules.
bool FitPicture(int size, const Job& job, ImageOptions& image, std::string& error) {
  image = job.image;
  if (job.size.points <= 0 && job.size.pixels <= 0) {
    return true;
  }
  const int dpi = image.dpi == 0 ? kDefaultDpi : image.dpi;
  const int side = size + 2 * image.margin;
  const double pixels = job.size.pixels > 0 ? job.size.pixels : job.size.points * dpi / 72.0;
  // A hair of slack: 29 px given in millimetres stays 29 px.
  const double scale = std::floor(pixels / side + 1e-9);
  if (scale < kMinScale) {
    char smallest[96];
    std::snprintf(smallest, sizeof smallest, "%d px (%.1f mm at %d dpi)", side, side * 25.4 / dpi,
                  dpi);
    const std::string symbol = size < qrimage::SymbolSize(qrimage::kMinVersion)
                                   ? "Micro QR M" + std::to_string((size - 9) / 2)
                                   : "version " + std::to_string((size - 17) / 4);
    error = "--size is too small: " + symbol + " with its " + std::to_string(image.margin) +
            "-module quiet zone needs at least " + smallest;
    return false;
  }
  if (Traits(job.type).sizing == Sizing::kPoints) {
    image.sidePoints = job.size.points > 0 ? job.size.points : job.size.pixels * 72.0 / dpi;
    image.physicalSide = job.size.points > 0;
  } else {
    image.scale = static_cast<int>(std::min<double>(scale, kMaxScale));
  }
  return true;
}

// Renders one encoded symbol into `picture`; returns kOk or kCannotWrite
// with `error` set.
int Draw(const qrimage::Symbol& encoded, const Job& job, Result& result, Picture& picture,
         std::string& error) {
  picture.size = encoded.size;
  const SymbolView symbol{encoded.modules, encoded.size, encoded.size};
  try {
    if (!RenderImage(symbol, job.type, result.image, &picture.file, &error)) {
      return kCannotWrite;
    }
    picture.preview = job.preview
                          ? RenderHalfBlocks(symbol, job.previewColours, 1, job.image.margin)
                          : std::string();
  } catch (const std::bad_alloc&) {
    result.pictures.clear();
    if (!HoldMemoryReserve()) {
      throw;
    }
    error = "out of memory for the picture";
    return kCannotWrite;
  }
  return kOk;
}

int ProduceMicro(const std::string& text, const Job& job, Result& result, std::string& error) {
  qrimage::SymbolPlan plan;
  qrimage::Symbol encoded;
  int status = EncodeMicroText(text, job, result, plan.segments, encoded, error);
  if (status != kOk) {
    return status;
  }
  result.modes = ModeNames({plan});
  if (!FitPicture(encoded.size, job, result.image, error) ||
      !PictureFits(job.type, result.image, encoded.size, &error)) {
    return kUsage;
  }
  result.pictures.assign(1, Picture{});
  result.pictures[0].version = encoded.version;
  return Draw(encoded, job, result, result.pictures[0], error);
}

}  // namespace

std::string TooLongMessage(const std::string& text, const Job& job, bool eci) {
  const std::size_t length = text.size();
  // The bytes of the text that one symbol of version 40 holds at `level`.
  const auto held = [&](int level) {
    return job.bytes
               ? static_cast<std::size_t>(qrimage::ByteCapacity(qrimage::kMaxVersion, level, eci))
               : qrimage::LongestPrefixHeld(Bytes(text), length, level, eci, eci);
  };
  // The bytes counted are those of the form written, named when it is not
  // the text's own.
  const char* const form = length > kMaxInputBytes || job.bytes ? ""
                           : eci                                ? " in UTF-8"
                           : job.latin1                         ? " in ISO-8859-1"
                                                                : "";
  const std::string size = length > kMaxInputBytes ? "more than " + std::to_string(kMaxInputBytes)
                                                   : std::to_string(length);
  // The ECI header's 12 bits cost every level a byte.
  std::string message = "the text is " + size + " bytes" + form + "; " +
                        (eci ? "behind its ECI header, " : "") + "level " +
                        kLevelLetters[job.level] + " holds at most " +
                        std::to_string(held(job.level)) + " bytes of it";
  // Point to the strongest level that would still take the text.
  for (int lower = job.level - 1; lower >= 0; --lower) {
    if (length <= held(lower)) {
      message += " (level " + std::string(1, kLevelLetters[lower]) + " holds it)";
      break;
    }
  }
  if (job.split) {
    message += "; " + std::to_string(qrimage::kMaxSequenceSymbols) +
               " symbols of --split do not hold it either";
  } else if (!job.bytes && !job.batch) {
    const int symbols = qrimage::SymbolsNeeded(Bytes(text), length, job.level, eci, eci);
    message += symbols > 0 ? "; --split would write it as " + std::to_string(symbols) + " symbols"
                           : "; more than the " + std::to_string(qrimage::kMaxSequenceSymbols) +
                                 " symbols of --split";
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
  int status = ChooseCharset(text, job, result.charset, error);
  if (status != kOk) {
    return status;
  }
  result.textBytes = text.size();
  if (job.micro) {
    return ProduceMicro(text, job, result, error);
  }
  const bool eci = result.charset == Charset::kUtf8Eci;
  std::vector<qrimage::SymbolPlan> plans;
  // --strict with --split: as many symbols as it takes of that version.
  const int maxVersion = job.strict && job.split ? job.minVersion : qrimage::kMaxVersion;
  if (text.size() > kMaxInputBytes || !PlanText(text, job, eci, maxVersion, plans)) {
    const bool held = text.size() <= kMaxInputBytes && maxVersion != qrimage::kMaxVersion &&
                      PlanText(text, job, eci, qrimage::kMaxVersion, plans);
    error = held ? "the text needs more than " + std::to_string(qrimage::kMaxSequenceSymbols) +
                       " symbols of version " + std::to_string(job.minVersion) + " at level " +
                       kLevelLetters[job.level] + "; --strict keeps the symbols at version " +
                       std::to_string(job.minVersion)
                 : TooLongMessage(text, job, eci);
    return kTextTooLong;
  }
  const int version = plans[0].version;
  if (job.strict && version != job.minVersion) {
    error = "the text needs version " + std::to_string(version) + " at level " +
            kLevelLetters[job.level] + "; --strict keeps the symbol at version " +
            std::to_string(job.minVersion);
    return kTextTooLong;
  }
  result.level = job.boost && !job.bytes ? qrimage::HighestLevel(plans) : job.level;
  result.modes = ModeNames(plans);
  if (!FitPicture(qrimage::SymbolSize(version), job, result.image, error) ||
      !PictureFits(job.type, result.image, qrimage::SymbolSize(version), &error)) {
    return kUsage;
  }

  // The library hands over a copy of the symbol: the rendering below holds
  // up no other caller.
  result.pictures.assign(plans.size(), Picture{});
  qrimage::Symbol encoded;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    plans[i].level = result.level;
    Picture& picture = result.pictures[i];
    picture.version = qrimage::EncodeSegments(Bytes(text), plans[i], encoded);
    if (picture.version < QRIMAGE_VERSION_MIN || picture.version > QRIMAGE_VERSION_MAX) {
      error = "error correction failed (result " + std::to_string(picture.version) + ")";
      return kEncodingFailed;
    }
    status = Draw(encoded, job, result, picture, error);
    if (status != kOk) {
      return status;
    }
  }
  return kOk;
}

}  // namespace qrtool
