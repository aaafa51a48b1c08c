#include "options.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "batch.h"
#include "image_formats.h"
#include "platform.h"
#include "report.h"
#include "state/symbol_tables.h"
#include "tool_core/micro/micro_symbol.h"

namespace qrtool {
namespace {

using qrimage::kByteCapacity;
using qrimage::kLevelLetters;
using qrimage::kMaxVersion;

constexpr int kLevelH = 3;  // index of H in kLevelLetters

// Long-only options get codes past every character getopt_long returns.
enum Id {
  kLevel = 256,
  kOutput,
  kInput,
  kType,
  kScale,
  kDpi,
  kMargin,
  kForeground,
  kBackground,
  kMinVersion,
  kMicro,
  kMask,
  kEci,
  kLatin1,
  kBytes,
  kNoBoost,
  kStrict,
  kSize,
  kSplit,
  kBatch,
  kNull,
  kStart,
  kShow,
  kNoShow,
  kQuiet,
  kHelp,
  kVersion,
};

enum class Section { kSource, kOptions };

// A refused command line: the exit status and the message, and for a usage
// error the argument that may be a text taken for an option.
struct Refusal {
  int status = kOk;
  std::string message;
  const char* possibleText = nullptr;
};

Refusal Usage(const std::string& message, const char* possibleText = nullptr) {
  return {kUsage, message, possibleText};
}

// "option '-v' takes ..., not 'x'": a value the option cannot take.
Refusal Takes(const std::string& name, const std::string& what, const char* value) {
  return Usage("option '" + name + "' takes " + what + ", not " + Printable(value, true));
}

// An option as given: the name the user wrote ("-l" or "--level"), its
// value (nullptr for a flag) and the request it goes into.
struct Given {
  const std::string& name;
  const char* value;
  Request& request;
};

// An option that sets a field of the request to a fixed value.
template <typename Value>
Refusal Set(Value& field, Value value) {
  field = value;
  return {};
}

// The readers of the values, below the table.
Refusal ParseLevel(const char* value, int& level);
Refusal ParseType(const char* value, Request& request);
template <typename Number>
Refusal NumberOption(const Given& given, long low, long high, Number& field);
Refusal ParseColour(const std::string& name, const char* value, bool mayBeTransparent,
                    Colour& colour, std::optional<Inks>& inks);
Refusal ParseSize(const std::string& name, const char* value, std::optional<PictureLength>& size);
Refusal SetOnce(const char*& field, const Given& given, const char* why);
Refusal ParseVersion(const Given& given);

// One line of the table is everything about an option: its names, its
// value, and its help, whose lines go under each other from column 24.
struct OptionEntry {
  Id id;
  char shortName;  // '\0': long form only
  const char* longName;
  const char* valueName;  // nullptr: takes no value
  Section section;
  Refusal (*apply)(const Given& given);  // reads the option into the request
  // "{types}" stands for the list of picture types, "{transparent}" and
  // "{colourless}" for those that can and cannot have such colours, "{inks}"
  // for those that take inks.
  const char* help;
};

constexpr OptionEntry kOptionTable[] = {
    {kInput, 'i', "input", "FILE", Section::kSource,
     [](const Given& g) {
       return SetOnce(g.request.inputFile, g, ": the text comes from one place only");
     },
     "the contents of FILE ('-': standard input)"},
    {kBatch, '\0', "batch", "FILE", Section::kSource,
     [](const Given& g) { return SetOnce(g.request.batchFile, g, ""); },
     "one text per line of FILE ('-': standard input), each\n"
     "written to its own file; a last line without a\n"
     "newline counts, and a CR before a newline ends the\n"
     "line; more than 100 empty lines in a row end the run"},
    {kNull, '\0', "null", nullptr, Section::kSource,
     [](const Given& g) { return Set(g.request.nullSeparated, true); },
     "with --batch: the texts are separated by NUL bytes\n"
     "instead of newlines"},
    {kStart, '\0', "start", "N", Section::kSource,
     [](const Given& g) {
       g.request.startGiven = true;
       return NumberOption(g, 0, INT_MAX / 2, g.request.start);
     },
     "with --batch: the number of the first file (default 1)"},
    {kLevel, 'l', "level", "LEVEL", Section::kOptions,
     [](const Given& g) { return ParseLevel(g.value, g.request.job.level); },
     "error-correction level L, M (default), Q or H;\n"
     "they restore about 7, 15, 25, 30 % of the symbol"},
    {kOutput, 'o', "output", "FILE", Section::kOptions,
     [](const Given& g) {
       g.request.output = g.value;
       g.request.outputGiven = true;
       return Refusal{};
     },
     "file to write (default qr.bmp, or qr. and the -t type;\n"
     "replaced if it exists); '-' writes to standard output\n"
     "(no preview; the summary goes to standard error).\n"
     "With --batch or --split: a name with one number, like\n"
     "label-%04d.png (default qr-%04d.bmp, or the -t type)"},
    {kType, 't', "type", "TYPE", Section::kOptions,
     [](const Given& g) { return ParseType(g.value, g.request); },
     "{types};\n"
     "without -t the extension of the output decides\n"
     "(none, or '-': bmp)"},
    {kScale, 's', "scale", "N", Section::kOptions,
     [](const Given& g) {
       g.request.scaleGiven = true;
       return NumberOption(g, kMinScale, kMaxScale, g.request.job.image.scale);
     },
     "pixels per module, 1 to 64 (default 4, txt 1); the\n"
     "quiet zone grows with it"},
    {kSize, '\0', "size", "LENGTH", Section::kOptions,
     [](const Given& g) { return ParseSize(g.name, g.value, g.request.job.size); },
     "the side of the picture, quiet zone included, like\n"
     "30mm or 1.5in (units mm, cm, in, pt, px): SVG, PDF and\n"
     "EPS exactly, other types the most whole pixels per\n"
     "module within it at the -d resolution; a size of less\n"
     "than one pixel per module is refused; not with -s"},
    {kDpi, 'd', "dpi", "D", Section::kOptions,
     [](const Given& g) { return NumberOption(g, kMinDpi, kMaxDpi, g.request.job.image.dpi); },
     "resolution written into the file (default 72), so\n"
     "that it prints at the size the summary gives in mm\n"
     "(a PBM stores none: its mm are at this resolution;\n"
     "an SVG without -d is in CSS pixels, 96 to the inch);\n"
     "a PDF page must come out 3 to 14400 pt a side"},
    {kMargin, 'm', "margin", "N", Section::kOptions,
     [](const Given& g) {
       g.request.marginGiven = true;
       return NumberOption(g, 0, kMaxMargin, g.request.job.image.margin);
     },
     "quiet zone around the symbol in modules, 0 to 64\n"
     "(default 4, Micro QR 2); readers need one to find\n"
     "the symbol"},
    {kForeground, '\0', "fg", "COLOUR", Section::kOptions,
     [](const Given& g) {
       return ParseColour(g.name, g.value, false, g.request.job.image.foreground,
                          g.request.job.image.foregroundInks);
     },
     "colour of the dark modules as RRGGBB in hex, like\n"
     "1a237e or '#1a237e' (default 000000); in {inks}\n"
     "also as inks, cmyk:C,M,Y,K in percent (0 to 100,\n"
     "decimals allowed), like cmyk:100,60,0,20; not for\n"
     "{colourless}"},
    {kBackground, '\0', "bg", "COLOUR", Section::kOptions,
     [](const Given& g) {
       return ParseColour(g.name, g.value, true, g.request.job.image.background,
                          g.request.job.image.backgroundInks);
     },
     "colour of the light modules and the quiet zone\n"
     "(default ffffff), as for --fg, or 'transparent'\n"
     "({transparent} only); the foreground must be the\n"
     "darker, with a contrast ratio of at least 3:1 (WCAG;\n"
     "inks count as R = 255(1-C)(1-K), G and B alike with\n"
     "M and Y), or readers may fail"},
    {kMinVersion, 'v', "min-version", "N", Section::kOptions,
     [](const Given& g) { return ParseVersion(g); },
     "the smallest version the symbol may have, 1 to 40\n"
     "(default 1), or M1 to M4 for Micro QR, so that labels\n"
     "keep one size"},
    {kStrict, '\0', "strict", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.strict, true); },
     "with -v N: exactly version N; a text that needs a\n"
     "larger one fails (exit status 1) naming it; with\n"
     "--split, as many symbols of version N as it takes"},
    {kMicro, '\0', "micro", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.micro, true); },
     "a Micro QR symbol, M2 to M4 (M1, which only detects\n"
     "errors, with -v M1): levels L and M, M4 also Q; a\n"
     "2-module quiet zone unless -m; text in ASCII and\n"
     "Kanji, or in bytes with --latin1 or --bytes; not with\n"
     "-l H, --eci or --split"},
    {kMask, '\0', "mask", "N", Section::kOptions,
     [](const Given& g) { return NumberOption(g, 0, qrimage::kMaskCount - 1, g.request.job.mask); },
     "write mask N, 0 to 7 (Micro QR 0 to 3), instead of\n"
     "the one evaluated best; the summary names the mask"},
    {kNoBoost, '\0', "no-boost", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.boost, false); },
     "keep the level given; without it the level is raised\n"
     "as far as the symbol keeps its version"},
    {kSplit, '\0', "split", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.split, true); },
     "a text one symbol does not hold becomes a sequence of\n"
     "up to 16 (structured append), named by -o with one\n"
     "number (default qr-%02d.bmp); not with --batch"},
    {kEci, '\0', "eci", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.eci, true); },
     "the text is UTF-8: write it so, behind an ECI marker\n"
     "(one byte of capacity), even when it is ASCII; a text\n"
     "that is not UTF-8 is refused; not with --latin1 or\n"
     "--bytes"},
    {kLatin1, '\0', "latin1", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.latin1, true); },
     "the text is UTF-8: write it as ISO-8859-1, one byte a\n"
     "character and no marker, or refuse a text with a\n"
     "character outside it; smaller, but readers guess the\n"
     "character set of such bytes, often wrongly"},
    {kBytes, '\0', "bytes", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.job.bytes, true); },
     "the bytes as given in byte mode, at the level given:\n"
     "with -s 1 the library's own BMP; not with --eci,\n"
     "--latin1 or --split"},
    {kShow, '\0', "show", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.show, Show::kAlways); },
     "print the symbol even when standard output is not a\n"
     "terminal (on a terminal it is printed by default);\n"
     "not with --batch"},
    {kNoShow, 'n', "no-show", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.show, Show::kNever); }, "never print the symbol"},
    {kQuiet, 'q', "quiet", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.quiet, true); }, "no summary line"},
    {kHelp, 'h', "help", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.help, true); }, "show this help"},
    {kVersion, 'V', "version", nullptr, Section::kOptions,
     [](const Given& g) { return Set(g.request.version, true); }, "show the tool's version"},
};

const OptionEntry* FindEntry(int code) {
  for (const OptionEntry& entry : kOptionTable) {
    if (entry.id == code || (entry.shortName != '\0' && entry.shortName == code)) {
      return &entry;
    }
  }
  return nullptr;
}

// The name the user gave an option: "-l" or "--level".
std::string Spelling(const OptionEntry& entry, const char* argument) {
  return argument[1] == '-' ? std::string("--") + entry.longName
                            : std::string{'-', entry.shortName};
}

// A decimal number at the start of `value`: digits, and with `fraction` a
// point and more digits (a digit at least in all); no sign, exponent, hex,
// inf or nan, so that every number reads as it looks. Returns where it
// ends, or nullptr when `value` starts with none.
const char* ReadDecimal(const char* value, bool fraction, double& number) {
  const char* end = value;
  while (std::isdigit(static_cast<unsigned char>(*end))) {
    ++end;
  }
  if (fraction && *end == '.') {
    while (std::isdigit(static_cast<unsigned char>(*++end))) {
    }
  }
  if (std::find_if(value, end, [](char c) { return c != '.'; }) == end) {
    return nullptr;
  }
  // Digits and a point only: from_chars takes them whatever the locale.
  const std::string digits(value, end);
  std::from_chars(digits.data(), digits.data() + digits.size(), number, std::chars_format::fixed);
  return end;
}

// A whole decimal number within [low, high]; false otherwise.
bool ParseNumber(const char* value, long low, long high, long& number) {
  double read = 0;
  const char* end = ReadDecimal(value, false, read);
  if (end == nullptr || *end != '\0' || read < low || read > high) {
    return false;
  }
  number = static_cast<long>(read);
  return true;
}

template <typename Number>
Refusal NumberOption(const Given& given, long low, long high, Number& field) {
  long number = 0;
  if (!ParseNumber(given.value, low, high, number)) {
    return Takes(given.name,
                 "a whole number from " + std::to_string(low) + " to " + std::to_string(high),
                 given.value);
  }
  field = static_cast<Number>(number);
  return {};
}

Refusal ParseLevel(const char* value, int& level) {
  if (value[0] != '\0' && value[1] == '\0') {
    for (int index = 0; index < 4; ++index) {
      if (std::toupper(static_cast<unsigned char>(value[0])) == kLevelLetters[index]) {
        level = index;
        return {};
      }
    }
  }
  return {kBadLevel,
          "unknown error-correction level " + Printable(value, true) + ": use L, M, Q or H"};
}

Refusal ParseType(const char* value, Request& request) {
  if (!ImageTypeFromName(value, &request.job.type)) {
    return Usage("unknown picture type " + Printable(value, true) + ": use one of " +
                 ImageTypeNameList());
  }
  request.typeGiven = true;
  return {};
}

// "C,M,Y,K" after "cmyk:": four percentages of ink, 0 to 100, decimals
// allowed.
bool ParseInks(const char* at, Inks& inks) {
  double* const shares[] = {&inks.cyan, &inks.magenta, &inks.yellow, &inks.black};
  for (int i = 0; i < 4; ++i) {
    double percent = 0;
    if ((i > 0 && *at++ != ',') || (at = ReadDecimal(at, true, percent)) == nullptr ||
        percent > 100) {
      return false;
    }
    *shares[i] = percent / 100;
  }
  return *at == '\0';
}

Refusal ParseColour(const std::string& name, const char* value, bool mayBeTransparent,
                    Colour& colour, std::optional<Inks>& inks) {
  inks.reset();
  if (mayBeTransparent && std::strcmp(value, "transparent") == 0) {
    colour = kTransparent;
    return {};
  }
  if (std::strncmp(value, "cmyk:", 5) == 0) {
    Inks shares;
    if (!ParseInks(value + 5, shares)) {
      return Takes(name, "inks as cmyk:C,M,Y,K in percent from 0 to 100, like cmyk:100,60,0,20",
                   value);
    }
    inks = shares;
    colour = ColourFromInks(shares);
    return {};
  }
  const char* hex = value[0] == '#' ? value + 1 : value;
  bool valid = std::strlen(hex) == 6;
  for (int i = 0; valid && i < 6; ++i) {
    valid = std::isxdigit(static_cast<unsigned char>(hex[i])) != 0;
  }
  if (!valid) {
    return Takes(name,
                 std::string("a colour as RRGGBB in hex, like 1a237e") +
                     (mayBeTransparent ? " (or 'transparent')" : "") + ", or cmyk:C,M,Y,K",
                 value);
  }
  colour = static_cast<Colour>(std::strtoul(hex, nullptr, 16));
  return {};
}

// --size: a positive decimal number and its unit, like 30mm, 1.5in or
// 300px, below a million of the unit.
Refusal ParseSize(const std::string& name, const char* value, std::optional<PictureLength>& size) {
  struct Unit {
    const char* name;
    double points;  // 0: pixels
  };
  constexpr Unit kUnits[] = {
      {"mm", 72 / 25.4}, {"cm", 720 / 25.4}, {"in", 72}, {"pt", 1}, {"px", 0}};
  constexpr double kLimit = 1e6;
  double number = 0;
  const char* end = ReadDecimal(value, true, number);
  for (const Unit& unit : kUnits) {
    if (end == nullptr || std::strcmp(end, unit.name) != 0) {
      continue;
    }
    if (number <= 0 || number >= kLimit) {
      return Takes(
          name,
          "a length above 0 and below " + std::to_string(static_cast<long>(kLimit)) + unit.name,
          value);
    }
    size = unit.points > 0 ? PictureLength{number * unit.points, 0} : PictureLength{0, number};
    return {};
  }
  return Takes(name,
               "a length with its unit (mm, cm, in, pt or px), digits with a decimal point if "
               "need be, like 30mm or 1.5in",
               value);
}

// -v: 1 to 40, or M1 to M4 (Micro QR).
Refusal ParseVersion(const Given& given) {
  Request& request = given.request;
  const char* value = given.value;
  request.minVersionGiven = true;
  if ((value[0] == 'M' || value[0] == 'm') && value[1] >= '1' &&
      value[1] <= '0' + qrimage::kMicroMaxVersion && value[2] == '\0') {
    request.job.micro = true;
    request.job.minVersion = value[1] - '0';
    return {};
  }
  long number = 0;
  if (!ParseNumber(value, 1, kMaxVersion, number)) {
    return Takes(
        given.name,
        "a whole number from 1 to " + std::to_string(kMaxVersion) + " (or M1 to M4 for Micro QR)",
        value);
  }
  request.job.minVersion = static_cast<int>(number);
  request.qrVersionGiven = true;
  return {};
}

// An option that may be given once only (a second one would silently win).
Refusal SetOnce(const char*& field, const Given& given, const char* why) {
  if (field != nullptr) {
    return Usage("option '" + given.name + "' given more than once" + why);
  }
  field = given.value;
  return {};
}

// Edits (insert, delete, replace, swap two neighbours) from a to b.
std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) {
    for (std::size_t j = 0; j <= b.size(); ++j) {
      if (i == 0 || j == 0) {
        d[i][j] = i + j;
        continue;
      }
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

// "--name" or "--name=value" that is no option: names the options it may
// abbreviate, or the one it is closest to. Only an argument that does not
// look like an option ("--> here", "-- a b") may be a text taken for one.
Refusal UnknownLongOption(const char* argument) {
  const char* equals = std::strchr(argument, '=');
  const std::string name = equals != nullptr ? std::string(argument + 2, equals) : argument + 2;
  const bool optionLike = !name.empty() && std::isalpha(static_cast<unsigned char>(name[0])) &&
                          std::all_of(name.begin(), name.end(), [](char c) {
                            return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
                          });
  std::string candidates;
  const char* closest = nullptr;
  std::size_t closestDistance = 3;  // more edits than this: no suggestion
  for (const OptionEntry& entry : kOptionTable) {
    if (!name.empty() && std::strncmp(entry.longName, name.c_str(), name.size()) == 0) {
      candidates += std::string(candidates.empty() ? "" : ", ") + "--" + entry.longName;
    }
    const std::size_t distance = EditDistance(name, entry.longName);
    if (distance < closestDistance && distance < name.size()) {
      closest = entry.longName;
      closestDistance = distance;
    }
  }
  if (!candidates.empty()) {
    return Usage("option " + Printable("--" + name, true) + " is ambiguous: it may be " +
                 candidates);
  }
  std::string message = "unknown option " + Printable("--" + name, true);
  if (equals != nullptr) {
    message += " in " + Printable(argument, true);
  }
  if (closest != nullptr) {
    return Usage(message + "; did you mean '--" + std::string(closest) + "'?");
  }
  return Usage(message, optionLike ? nullptr : argument);
}

// "-abc" may be a text; "-x" is surely meant as an option.
const char* MayBeText(const char* argument) {
  return std::strlen(argument) > 2 ? argument : nullptr;
}

Refusal UnknownShortOption(int option, const char* argument) {
  // A byte of a multibyte character: name the whole argument.
  const std::string name =
      (option & 0x80) != 0 ? std::string(argument) : std::string{'-', static_cast<char>(option)};
  std::string message = "unknown option " + Printable(name, true);
  if (name != argument) {
    message += " in " + Printable(argument, true);
  }
  // "-5" or "-," is more likely a text than a mistyped option letter.
  return Usage(message,
               std::isalpha(static_cast<unsigned char>(option)) ? MayBeText(argument) : argument);
}

// A value-taking option without its value, or a flag given one.
Refusal WrongValue(const OptionEntry& entry, const char* argument) {
  return Usage("option '" + Spelling(entry, argument) + "' " +
               (entry.valueName != nullptr ? "needs a value" : "takes no value"));
}

// A text, or "-" in its place on the command line.
Refusal AddNonOption(const char* argument, bool optionsEnded, Request& request) {
  if (!optionsEnded && std::strcmp(argument, "-") == 0) {  // standard input
    if (request.readStdin) {
      return Usage("'-' given more than once");
    }
    request.readStdin = true;
    return {};
  }
  if (request.text != nullptr) {
    return Usage("more than one text given: " + Printable(request.text, true) + " and " +
                 Printable(argument, true) + " (quote a text that has spaces)");
  }
  request.text = argument;
  return {};
}

// What --micro and --mask say with the other options; the quiet zone and
// the least version of a Micro QR symbol.
Refusal SettleSymbol(Request& request) {
  Job& job = request.job;
  const int masks = job.micro ? qrimage::kMicroMaskCount : qrimage::kMaskCount;
  if (job.mask >= masks) {
    return Usage("a Micro QR symbol has masks 0 to " + std::to_string(masks - 1) + ": not --mask " +
                 std::to_string(job.mask));
  }
  if (!job.micro) {
    return {};
  }
  if (job.level == kLevelH || job.eci || job.split || request.qrVersionGiven) {
    return Usage(std::string("a Micro QR symbol (--micro, -v M1 to M4) ") +
                 (job.level == kLevelH ? "has no level H: use L, M or (M4) Q"
                  : job.eci            ? "carries no ECI: not with --eci"
                  : job.split          ? "has no structured append: not with --split"
                                       : "takes -v M1 to M4, not a QR Code version"));
  }
  // M1 only when asked for, and a quiet zone of its own.
  if (!request.minVersionGiven) {
    job.minVersion = kMicroDefaultVersion;
  }
  if (!request.marginGiven) {
    job.image.margin = kMicroMargin;
  }
  return {};
}

// What the options say together, once each has been read.
Refusal CheckCombination(const Request& request) {
  const Job& job = request.job;
  if (job.eci && job.latin1) {
    return Usage("--eci and --latin1 exclude each other: --eci keeps the text in UTF-8");
  }
  if (job.bytes && (job.eci || job.latin1 || job.split)) {
    return Usage(std::string("--bytes writes the text as one byte segment: not with ") +
                 (job.split ? "--split"
                  : job.eci ? "--eci"
                            : "--latin1"));
  }
  if (job.strict && !request.minVersionGiven) {
    return Usage("--strict needs the version to keep: give it with -v N");
  }
  if (job.size && request.scaleGiven) {
    return Usage("--size and -s exclude each other: --size chooses the pixels per module");
  }
  std::string error;
  if (!ColoursReadable(request.job.image, &error)) {
    return Usage(error);
  }
  const int sources =
      (request.text != nullptr) + (request.inputFile != nullptr) + (request.readStdin ? 1 : 0);
  if (request.batchFile != nullptr) {
    if (sources > 0) {
      return Usage("--batch reads the texts from its file: give no TEXT, -i or '-' with it");
    }
    if (request.show == Show::kAlways || job.split) {
      return Usage(std::string(job.split ? "--split" : "--show") + " cannot be used with --batch");
    }
  } else if (request.nullSeparated || request.startGiven) {
    return Usage(std::string(request.nullSeparated ? "--null" : "--start") +
                 " only goes with --batch");
  } else if (sources > 1) {
    return Usage("give the text one way only: as TEXT, with -i FILE, or as '-'");
  }
  return {};
}

// The output name, the picture type and the scale, from what was given and
// the defaults, and what the type allows of the picture options.
Refusal SettlePicture(Request& request) {
  Job& job = request.job;
  // Without -o the name is qr.bmp, qr-%04d.bmp or qr-%02d.bmp, with the -t
  // type's extension.
  if (!request.outputGiven) {
    request.output = std::string(request.batchFile != nullptr ? kBatchNames
                                 : job.split                  ? kSplitNames
                                                              : "qr.") +
                     std::string(ImageTypeName(job.type));
  }
  if (!request.typeGiven && ImageTypeFromPath(request.output, &job.type) == PathType::kUnknown) {
    return Usage("cannot tell the picture type of " + Printable(request.output, true) +
                 " from its extension: use one of " + ImageTypeNameList() +
                 ", as the extension or with -t");
  }
  std::string reason;
  if (!PictureFits(job.type, job.image, &reason)) {
    return Usage(reason);
  }
  // A picture with a size gets kDefaultScale without -s or --size; a text
  // picture keeps one character cell per module.
  if (Traits(job.type).sizing == Sizing::kNone) {
    if (job.size) {
      return Usage("--size needs a picture with a size: not " +
                   std::string(ImageTypeName(job.type)));
    }
  } else if (!job.size && !request.scaleGiven) {
    job.image.scale = kDefaultScale;
  }
  return {};
}

Refusal ParseEach(int argc, char** argv, Request& request) {
  std::string shortOptions = "-:";  // in order, non-options too; report ourselves
  std::vector<option> longOptions;
  for (const OptionEntry& entry : kOptionTable) {
    const int hasValue = entry.valueName != nullptr ? required_argument : no_argument;
    if (entry.shortName != '\0') {
      shortOptions += entry.shortName;
      if (hasValue) {
        shortOptions += ':';
      }
    }
    longOptions.push_back({entry.longName, hasValue, nullptr, entry.id});
  }
  longOptions.push_back({nullptr, 0, nullptr, 0});

  opterr = 0;
  optind = 1;
  for (;;) {
    const int at = optind;  // the argument being read
    const int code = getopt_long(argc, argv, shortOptions.c_str(), longOptions.data(), nullptr);
    if (code == -1) {
      break;
    }
    const char* argument = argv[at];
    Refusal refusal;
    if (code == 1) {
      refusal = AddNonOption(optarg, false, request);
    } else if (code == '?' || code == ':') {
      const OptionEntry* entry = optopt != 0 ? FindEntry(optopt) : nullptr;
      return entry != nullptr     ? WrongValue(*entry, argument)
             : argument[1] == '-' ? UnknownLongOption(argument)
                                  : UnknownShortOption(optopt, argument);
    } else {
      const OptionEntry& entry = *FindEntry(code);
      refusal = entry.apply({Spelling(entry, argument), optarg, request});
      // A known long option: its value may be wrong, not its place.
      if (refusal.status == kUsage && argument[1] != '-') {
        refusal.possibleText = MayBeText(argument);
      }
    }
    if (refusal.status != kOk) {
      return refusal;
    }
  }
  // After "--": texts only.
  for (int i = optind; i < argc; ++i) {
    Refusal refusal = AddNonOption(argv[i], true, request);
    if (refusal.status != kOk) {
      return refusal;
    }
  }
  Refusal refusal = SettleSymbol(request);
  refusal = refusal.status != kOk ? refusal : CheckCombination(request);
  // --help and --version write no picture.
  return refusal.status != kOk || request.help || request.version ? refusal
                                                                  : SettlePicture(request);
}

// The help lines of the table's options in one section.
std::string HelpLines(Section section) {
  constexpr std::size_t kColumn = 24;
  const std::pair<const char*, std::string> kLists[] = {
      {"{types}", ImageTypeNameList()},
      {"{transparent}", ImageTypeNameList(&ImageTypeTraits::transparency, " and ")},
      {"{colourless}", ImageTypeNameList(&ImageTypeTraits::colours, ", ", false)},
      {"{inks}", ImageTypeNameList(&ImageTypeTraits::inks, " and ")},
  };
  std::string lines;
  for (const OptionEntry& entry : kOptionTable) {
    if (entry.section != section) {
      continue;
    }
    std::string line =
        entry.shortName != '\0' ? std::string("  -") + entry.shortName + ", " : std::string(6, ' ');
    line += std::string("--") + entry.longName;
    if (entry.valueName != nullptr) {
      line += std::string(" ") + entry.valueName;
    }
    line.resize(std::max(line.size() + 1, kColumn), ' ');
    std::string help = entry.help;
    for (const auto& [name, list] : kLists) {
      const std::size_t at = help.find(name);
      if (at != std::string::npos) {
        help.replace(at, std::strlen(name), list);
      }
    }
    for (std::size_t start = 0; start < help.size();) {
      std::size_t end = help.find('\n', start);
      end = end == std::string::npos ? help.size() : end;
      lines +=
          (start == 0 ? line : std::string(kColumn, ' ')) + help.substr(start, end - start) + "\n";
      start = end + 1;
    }
  }
  return lines;
}

// The exit statuses, the end of the help.
std::string ExitStatusHelp() {
  return "  0  the file was written (with --batch: every file)\n"
         "  1  the text is too long for the level, or with --strict for the version\n"
         "  2  usage error: unknown option, missing or bad value, no text (or an empty\n"
         "     standard input read for lack of one), more than one text, colours\n"
         "     too close to scan, a --size too small for the symbol,\n"
         "     or a PDF page of another size\n"
         "  3  the file (or standard output) could not be written, its path is\n"
         "     longer than " +
         std::to_string(kLongestPath) +
         " bytes, or memory ran out\n"
         "  4  the level is not one of L, M, Q, H\n"
         "  5  the text contains a NUL byte, which the library cannot take\n"
         "  6  the input file or standard input could not be read (--batch: also a\n"
         "     line over 1 MiB, or more than 100 empty lines in a row)\n"
         "  7  error correction failed (not expected to happen)\n"
         "  8  --batch: at least one text failed (each is reported with its number)\n"
         "  9  --eci, --latin1: the text is not UTF-8, or (--latin1) has a character\n"
         "     outside ISO-8859-1; --micro: a text beyond ASCII that Kanji mode\n"
         "     cannot write, without --latin1 or --bytes\n";
}

}  // namespace

int ParseArguments(int argc, char** argv, Request& request) {
  const Refusal refusal = ParseEach(argc, argv, request);
  return refusal.status == kOk      ? kOk
         : refusal.status == kUsage ? UsageError(refusal.message, refusal.possibleText)
                                    : Fail(refusal.status, refusal.message);
}

std::string HelpText() {
  std::string limits;
  for (int index = 0; index < 4; ++index) {
    limits += (index == 0   ? ""
               : index == 3 ? " and "
                            : ", ") +
              std::to_string(kByteCapacity[kMaxVersion - 1][index]) + " at " + kLevelLetters[index];
  }
  return "usage: qrimage [OPTIONS] [TEXT | -]\n"
         "       qrimage [OPTIONS] --batch FILE|-\n"
         "\n"
         "Encodes a text as a QR Code symbol and writes it as a picture (a 1-bit BMP\n"
         "by default: 4 pixels per module, 4-module quiet zone), then prints a\n"
         "one-line summary. The symbol is the smallest that holds the text: numeric,\n"
         "alphanumeric, byte and Kanji segments wherever they are shorter, a UTF-8\n"
         "text beyond ASCII as UTF-8 behind an ECI marker or, when smaller and it\n"
         "has only ASCII (no \\ or ~) and JIS X 0208 characters, in Kanji segments\n"
         "unmarked (its byte-order mark dropped; other texts keep their bytes,\n"
         "unmarked; no trailing newline is removed), and the level raised as far\n"
         "as the version stays.\n"
         "\n"
         "Where the text comes from (exactly one):\n"
         "  TEXT                  the argument itself\n"
         "  -                     standard input\n"
         "  (nothing)             standard input, when it is not a terminal (and not empty)\n" +
         HelpLines(Section::kSource) +
         "\n"
         "Options:\n" +
         HelpLines(Section::kOptions) +
         "  --                    end of options: a TEXT starting with '-' may follow\n"
         "Short options combine (-nq, -ns4), values may be attached (-lH, --level=H,\n"
         "-ofile.bmp), and long options may be shortened while they stay unique.\n"
         "Numbers are decimal digits (a --size may also have a decimal point).\n"
         "An option given twice takes its last value, but the text comes from one\n"
         "place only: TEXT, -, -i and --batch are each given once.\n"
         "\n"
         "Longest text: " +
         limits +
         " bytes in byte mode\n"
         "(more digits or upper-case characters; up to 16 symbols with --split).\n"
         "\n"
         "Exit status:\n" +
         ExitStatusHelp();
}

}  // namespace qrtool
