#include "job.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>

#include "qrimage.h"
#include "report.h"
#include "tool_core/encode.h"
#include "tool_core/micro/micro_plan.h"
#include "tool_core/plan.h"

namespace qrtool {

using qrimage::kLevelLetters;

namespace {

using qrimage::PlanFault;

// What the job asks of the planner.
qrimage::PlanRequest Request(const Job& job) {
  using qrimage::CharsetChoice;
  const CharsetChoice charset = job.latin1  ? CharsetChoice::kLatin1
                                : job.eci   ? CharsetChoice::kUtf8Eci
                                : job.bytes ? CharsetChoice::kBytes
                                            : CharsetChoice::kDefault;
  return {job.level,  job.minVersion,
          job.strict, job.boost,
          job.split,  !job.batch,
          charset,    job.micro ? qrimage::SymbolKind::kMicro : qrimage::SymbolKind::kQr};
}

// "numeric+byte": the modes of the segments, in the order of the table.
std::string ModeNames(const std::vector<qrimage::SymbolPlan>& plans) {
  static constexpr const char* kNames[qrimage::kSegmentModeCount] = {"numeric", "alphanumeric",
                                                                     "byte", "kanji"};
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
  if (!job.size) {
    return true;
  }
  const int dpi = image.dpi == 0 ? kDefaultDpi : image.dpi;
  const int side = size + 2 * image.margin;
  const double pixels = job.size->pixels > 0 ? job.size->pixels : job.size->points * dpi / 72.0;
  // A hair of slack: 29 px given in millimetres stays 29 px.
  const double scale = std::floor(pixels / side + 1e-9);
  if (scale < kMinScale) {
    char smallest[96];
    std::snprintf(smallest, sizeof smallest, "%d px (%.1f mm at %d dpi)", side, side * 25.4 / dpi,
                  dpi);
    error = "--size is too small: " + SymbolName(size) + " with its " +
            std::to_string(image.margin) + "-module quiet zone needs at least " + smallest;
    return false;
  }
  if (Traits(job.type).sizing == Sizing::kPoints) {
    image.sidePoints = job.size->points > 0 ? job.size->points : job.size->pixels * 72.0 / dpi;
    image.physicalSide = job.size->points > 0;
  } else {
    image.scale = static_cast<int>(std::min<double>(scale, kMaxScale));
  }
  return true;
}

// "the text is 3000 bytes in UTF-8": the bytes counted are those of the
// form written, named when it is not the text's own.
std::string TextSize(const qrimage::SymbolText& text, const Job& job) {
  const std::size_t length = text.bytes.size();
  static constexpr const char* kForms[] = {"", " in ISO-8859-1", " in UTF-8", " in Shift JIS"};
  const char* const form =
      length > kMaxInputBytes || job.bytes ? "" : kForms[static_cast<int>(text.charset)];
  const std::string size = length > kMaxInputBytes ? "more than " + std::to_string(kMaxInputBytes)
                                                   : std::to_string(length);
  return "the text is " + size + " bytes" + form;
}

// "the text is 40 bytes; Micro QR M4 at level M holds at most 30 digits,
// 18 alphanumeric characters, 13 bytes or 8 Kanji characters (level L
// holds it); without --micro a QR Code symbol holds more".
std::string MicroShortfall(std::string_view text, const qrimage::SymbolText& read, const Job& job) {
  constexpr int kM4 = qrimage::kMicroMaxVersion;
  const auto most = [&job](qrimage::SegmentMode mode) {
    return std::to_string(qrimage::MicroCharacterCapacity(kM4, job.level, mode));
  };
  std::string message = TextSize(read, job) + "; Micro QR M" + std::to_string(kM4) + " at level " +
                        kLevelLetters[job.level] + " holds at most " + most(qrimage::kNumericMode) +
                        " digits, " + most(qrimage::kAlphanumericMode) +
                        " alphanumeric characters, " + most(qrimage::kByteMode) + " bytes or " +
                        most(qrimage::kKanjiMode) + " Kanji characters";
  Job lower = job;
  lower.strict = false;
  for (lower.level = job.level - 1; lower.level >= 0 && text.size() <= kMaxInputBytes;
       --lower.level) {
    if (qrimage::PlanText(text, Request(lower)).fault == PlanFault::kNone) {
      return message + " (level " + kLevelLetters[lower.level] + " holds it)";
    }
  }
  return message + "; without --micro a QR Code symbol holds more";
}

// "the text is 3000 bytes in UTF-8; ...": see TooLongMessage.
std::string DescribeShortfall(const qrimage::SymbolText& text, const qrimage::Shortfall& shortfall,
                              const Job& job) {
  const std::size_t length = text.bytes.size();
  const bool eci = text.Eci();
  // The ECI header's 12 bits cost every level a byte.
  std::string message = TextSize(text, job) + "; " + (eci ? "behind its ECI header, " : "") +
                        "level " + kLevelLetters[job.level] + " holds at most " +
                        std::to_string(shortfall.held[job.level]) + " bytes of it";
  // Point to the strongest level that would still take the text.
  for (int lower = job.level - 1; lower >= 0; --lower) {
    if (length <= shortfall.held[lower]) {
      message += " (level " + std::string(1, kLevelLetters[lower]) + " holds it)";
      break;
    }
  }
  if (job.split) {
    message += "; " + std::to_string(qrimage::kMaxSequenceSymbols) +
               " symbols of --split do not hold it either";
  } else if (!job.bytes && !job.batch) {
    const int symbols = shortfall.symbols;
    message += symbols > 0 ? "; --split would write it as " + std::to_string(symbols) + " symbols"
                           : "; more than the " + std::to_string(qrimage::kMaxSequenceSymbols) +
                                 " symbols of --split";
  }
  return message;
}

// Whether without --latin1 the text would go in Kanji segments rather
// than as UTF-8.
bool WrittenInKanji(std::string_view text, const Job& job) {
  qrimage::PlanRequest request = Request(job);
  request.charset = qrimage::CharsetChoice::kDefault;
  request.countSplit = false;
  return qrimage::PlanText(text, request).text.ShiftJis();
}

// The message for a text that has no plan.
std::string PlanError(std::string_view text, const qrimage::TextPlan& plan, const Job& job) {
  const std::string version = std::to_string(job.minVersion);
  const std::string level(1, kLevelLetters[job.level]);
  const char* const option = job.latin1 ? "--latin1: " : "--eci: ";
  const qrimage::TextFault& where = plan.where;
  // Positions in messages count from 1, like line numbers.
  const std::string at = " at byte " + std::to_string(where.at + 1);
  switch (plan.fault) {
    case PlanFault::kNotUtf8:
      return option + std::string("the text is not valid UTF-8 (byte 0x") +
             Hex(static_cast<std::uint8_t>(text[where.at]), 2, true) + at + ")";
    case PlanFault::kNotLatin1:
      return option + std::string("character U+") + Hex(where.character, 4, true) + " " +
             Printable(text.substr(where.at, where.length), true) + at +
             " is not in ISO-8859-1; without --latin1 the text is written " +
             (WrittenInKanji(text, job) ? "in Kanji segments" : "as UTF-8 bytes");
    case PlanFault::kNeedsSymbols:
      return "the text needs more than " + std::to_string(qrimage::kMaxSequenceSymbols) +
             " symbols of version " + version + " at level " + level +
             "; --strict keeps the symbols at version " + version;
    case PlanFault::kNotAscii:
      return "--micro: byte " + std::to_string(where.at + 1) +
             " of the text is beyond ASCII, and the text does not go whole in Kanji segments "
             "(JIS X 0208 and ASCII but \\ and ~); a Micro QR symbol has no ECI to name its "
             "character set; --latin1 writes the text as ISO-8859-1 and --bytes as given, in "
             "byte mode, but readers may then show other characters";
    case PlanFault::kNeedsVersion: {
      const std::string kind = plan.kind == qrimage::SymbolKind::kMicro ? "M" : "version ";
      return "the text needs " + (kind == "M" ? "Micro QR M" : kind) +
             std::to_string(plan.version) + " at level " + level +
             "; --strict keeps the symbol at " + kind + version;
    }
    default:
      return plan.kind == qrimage::SymbolKind::kMicro
                 ? MicroShortfall(text, plan.text, job)
                 : DescribeShortfall(plan.text, plan.shortfall, job);
  }
}

// Encodes the planned symbols and draws each one's picture and preview.
int Draw(const qrimage::TextPlan& plan, const Job& job, Result& result, std::string& error) {
  // The library hands over a copy of the symbol: the rendering below holds
  // up no other caller.
  result.pictures.assign(plan.symbols.size(), Picture{});
  qrimage::Symbol encoded;
  for (std::size_t i = 0; i < plan.symbols.size(); ++i) {
    Picture& picture = result.pictures[i];
    picture.version = qrimage::EncodePlanned(plan, i, job.mask, encoded);
    picture.size = encoded.size;
    picture.mask = encoded.mask;
    if (picture.version < 0) {
      error = "error correction failed (result " + std::to_string(picture.version) + ")";
      return kEncodingFailed;
    }
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
  }
  return kOk;
}

}  // namespace

std::string TooLongMessage(const std::string& text, const Job& job, bool eci) {
  using qrimage::Charset;
  const qrimage::SymbolText read{text, eci          ? Charset::kUtf8Eci
                                       : job.latin1 ? Charset::kLatin1
                                                    : Charset::kAsGiven};
  return job.micro ? MicroShortfall(text, read, job)
                   : DescribeShortfall(read, qrimage::MeasureShortfall(read, Request(job)), job);
}

std::string SymbolName(int modules) {
  return modules < qrimage::SymbolSize(qrimage::kMinVersion)
             ? "Micro QR M" + std::to_string((modules - 9) / 2)
             : "version " + std::to_string((modules - 17) / 4);
}

int Produce(const std::string& text, const Job& job, Result& result, std::string& error) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    error = "the text contains a NUL byte (at byte " + std::to_string(nul + 1) +
            "); it cannot be encoded, as the library would end the text there";
    return kNulByte;
  }
  const qrimage::TextPlan plan = qrimage::PlanText(text, Request(job));
  result.charset = plan.text.charset;
  result.textBytes = plan.text.bytes.size();
  if (plan.fault != PlanFault::kNone) {
    error = PlanError(text, plan, job);
    const bool notUtf8 = plan.fault == PlanFault::kNotUtf8 || plan.fault == PlanFault::kNotLatin1 ||
                         plan.fault == PlanFault::kNotAscii;
    return notUtf8 ? kNotUtf8 : kTextTooLong;
  }
  result.level = plan.symbols[0].level;
  result.modes = ModeNames(plan.symbols);
  const int size = plan.Modules();
  if (!FitPicture(size, job, result.image, error) ||
      !PageFits(job.type, result.image, size, &error)) {
    return kUsage;
  }
  return Draw(plan, job, result, error);
}

}  // namespace qrtool
