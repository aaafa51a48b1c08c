#include "options.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "api/symbol_tables.h"
#include "image_formats.h"

namespace qrtool {
namespace {

using qrimage::kByteCapacity;
using qrimage::kLevelLetters;
using qrimage::kMaxVersion;

enum class Id {
  kLevel,
  kOutput,
  kInput,
  kType,
  kScale,
  kDpi,
  kLatin1,
  kBatch,
  kNull,
  kStart,
  kShow,
  kNoShow,
  kQuiet,
  kHelp,
  kVersion,
};

struct OptionEntry {
  Id id;
  char shortName;  // '\0': long form only
  const char* longName;
  bool takesValue;
};

constexpr OptionEntry kOptionTable[] = {
    {Id::kLevel, 'l', "level", true},      {Id::kOutput, 'o', "output", true},
    {Id::kInput, 'i', "input", true},      {Id::kType, 't', "type", true},
    {Id::kScale, 's', "scale", true},      {Id::kDpi, 'd', "dpi", true},
    {Id::kLatin1, '\0', "latin1", false},  {Id::kBatch, '\0', "batch", true},
    {Id::kNull, '\0', "null", false},      {Id::kStart, '\0', "start", true},
    {Id::kShow, '\0', "show", false},      {Id::kNoShow, 'n', "no-show", false},
    {Id::kQuiet, 'q', "quiet", false},     {Id::kHelp, 'h', "help", false},
    {Id::kVersion, 'V', "version", false},
};

const OptionEntry* FindShort(char name) {
  for (const OptionEntry& entry : kOptionTable) {
    if (entry.shortName != '\0' && entry.shortName == name) {
      return &entry;
    }
  }
  return nullptr;
}

const OptionEntry* FindLong(const std::string& name) {
  for (const OptionEntry& entry : kOptionTable) {
    if (name == entry.longName) {
      return &entry;
    }
  }
  return nullptr;
}

// A whole decimal number within [low, high]; false otherwise.
bool ParseNumber(const char* value, long low, long high, long& number) {
  if (!std::isdigit(static_cast<unsigned char>(value[0]))) {
    return false;
  }
  char* end = nullptr;
  errno = 0;
  number = std::strtol(value, &end, 10);
  return *end == '\0' && errno == 0 && number >= low && number <= high;
}

int NumberOption(const std::string& name, const char* value, long low, long high, long& number) {
  if (!ParseNumber(value, low, high, number)) {
    return UsageError("option '" + name + "' takes a whole number from " + std::to_string(low) +
                      " to " + std::to_string(high) + ", not '" + value + "'");
  }
  return kOk;
}

int ParseLevel(const char* value, Options& options) {
  if (value[0] != '\0' && value[1] == '\0') {
    for (int index = 0; index < 4; ++index) {
      if (std::toupper(static_cast<unsigned char>(value[0])) == kLevelLetters[index]) {
        options.level = index;
        return kOk;
      }
    }
  }
  return Fail(kBadLevel,
              "unknown error-correction level '" + std::string(value) + "': use L, M, Q or H");
}

// An option that may be given once only (a second one would silently win).
int SetOnce(const char*& field, const std::string& name, const char* value, const char* why) {
  if (field != nullptr) {
    return UsageError("option '" + name + "' given more than once" + why);
  }
  field = value;
  return kOk;
}

int Apply(const OptionEntry& entry, const std::string& name, const char* value, Options& options) {
  long number = 0;
  int status = kOk;
  switch (entry.id) {
    case Id::kLevel:
      return ParseLevel(value, options);
    case Id::kOutput:
      options.output = value;
      break;
    case Id::kInput:
      return SetOnce(options.inputFile, name, value, ": the text comes from one place only");
    case Id::kType:
      options.type = value;
      break;
    case Id::kScale:
      status = NumberOption(name, value, kMinScale, kMaxScale, number);
      options.scale = static_cast<int>(number);
      break;
    case Id::kDpi:
      status = NumberOption(name, value, kMinDpi, kMaxDpi, number);
      options.dpi = static_cast<int>(number);
      break;
    case Id::kLatin1:
      options.latin1 = true;
      break;
    case Id::kBatch:
      return SetOnce(options.batchFile, name, value, "");
    case Id::kNull:
      options.nullSeparated = true;
      break;
    case Id::kStart:
      status = NumberOption(name, value, 0, INT_MAX / 2, number);
      options.start = number;
      options.startGiven = true;
      break;
    case Id::kShow:
      options.show = Show::kAlways;
      break;
    case Id::kNoShow:
      options.show = Show::kNever;
      break;
    case Id::kQuiet:
      options.quiet = true;
      break;
    case Id::kHelp:
      options.help = true;
      break;
    case Id::kVersion:
      options.version = true;
      break;
  }
  return status;
}

// While an argument that may be a text starting with '-' is parsed: a usage
// error then also says how to pass such a text.
const char* possibleText = nullptr;

int UnknownOption(const std::string& option, const std::string& argument) {
  std::string message = "unknown option '" + option + "'";
  if (option != argument) {
    message += " in '" + argument + "'";
  }
  return UsageError(message);
}

int AddText(char* argument, Options& options) {
  if (options.text != nullptr) {
    return UsageError("more than one text given: '" + std::string(options.text) + "' and '" +
                      argument + "' (quote a text that has spaces)");
  }
  options.text = argument;
  return kOk;
}

}  // namespace

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "qrimage: %s\n", message.c_str());
  return status;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "qrimage: %s\n", message.c_str());
  if (possibleText != nullptr) {
    std::fprintf(stderr,
                 "qrimage: to encode a text that starts with '-', put '--' before it: "
                 "qrimage [OPTIONS] -- '%s'\n",
                 possibleText);
  }
  std::fputs("Try 'qrimage --help' for more information.\n", stderr);
  return kUsage;
}

namespace {

int ParseEach(int argc, char** argv, Options& options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    char* argument = argv[i];
    int status = kOk;
    // "-x" is surely meant as an option; "-abc" or "--abc" may be a text.
    possibleText = !optionsEnded && argument[0] == '-' && std::strlen(argument) > 2 &&
                           std::strcmp(argument, "--") != 0
                       ? argument
                       : nullptr;
    if (optionsEnded || argument[0] != '-' || argument[1] == '\0') {
      if (!optionsEnded && argument[0] == '-') {  // a lone "-": standard input
        if (options.readStdin) {
          return UsageError("'-' given more than once");
        }
        options.readStdin = true;
      } else {
        status = AddText(argument, options);
      }
    } else if (std::strcmp(argument, "--") == 0) {
      optionsEnded = true;
    } else if (argument[1] == '-') {
      // --name, --name=value, or --name followed by its value.
      const char* equals = std::strchr(argument, '=');
      const std::string name =
          equals != nullptr ? std::string(argument, equals - argument) : argument;
      const OptionEntry* entry = FindLong(name.substr(2));
      if (entry == nullptr) {
        return UnknownOption(name, argument);
      }
      possibleText = nullptr;  // a known long option: its value may be wrong, not its place
      const char* value = equals != nullptr ? equals + 1 : nullptr;
      if (!entry->takesValue && value != nullptr) {
        return UsageError("option '" + name + "' takes no value");
      }
      if (entry->takesValue && value == nullptr) {
        if (i + 1 >= argc) {
          return UsageError("option '" + name + "' needs a value");
        }
        value = argv[++i];
      }
      status = Apply(*entry, name, value, options);
    } else {
      // A cluster of short options: flags, then at most one option whose
      // value is the rest of the cluster or the next argument.
      for (const char* next = argument + 1; *next != '\0' && status == kOk; ++next) {
        const OptionEntry* entry = FindShort(*next);
        if (entry == nullptr) {
          return UnknownOption(std::string{'-', *next}, argument);
        }
        const std::string name{'-', entry->shortName};
        if (!entry->takesValue) {
          status = Apply(*entry, name, nullptr, options);
          continue;
        }
        const char* value = next + 1;
        if (*value == '\0') {
          if (i + 1 >= argc) {
            return UsageError("option '" + name + "' needs a value");
          }
          value = argv[++i];
        }
        status = Apply(*entry, name, value, options);
        break;
      }
    }
    if (status != kOk) {
      return status;
    }
  }
  return kOk;
}

}  // namespace

int ParseArguments(int argc, char** argv, Options& options) {
  const int status = ParseEach(argc, argv, options);
  possibleText = nullptr;
  return status;
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
         "by default: one pixel per module, 4-module quiet zone), then prints a\n"
         "one-line summary. The text is taken byte for byte: no character-set\n"
         "conversion (unless --latin1), and no trailing newline removed.\n"
         "\n"
         "Where the text comes from (exactly one):\n"
         "  TEXT                  the argument itself\n"
         "  -                     standard input\n"
         "  -i, --input FILE      the contents of FILE ('-': standard input)\n"
         "  (nothing)             standard input, when it is not a terminal (and not empty)\n"
         "      --batch FILE      one text per line of FILE ('-': standard input), each\n"
         "                        written to its own file; a last line without a\n"
         "                        newline counts\n"
         "      --null            with --batch: the texts are separated by NUL bytes\n"
         "                        instead of newlines\n"
         "      --start N         with --batch: the number of the first file (default 1)\n"
         "\n"
         "Options:\n"
         "  -l, --level LEVEL     error-correction level L, M (default), Q or H;\n"
         "                        they restore about 7, 15, 25, 30 % of the symbol\n"
         "  -o, --output FILE     file to write (default qr.bmp; replaced if it exists);\n"
         "                        '-' writes to standard output (no preview; the summary\n"
         "                        goes to standard error). With --batch: a name with one\n"
         "                        number in it, like label-%04d.png (default qr-%04d.bmp)\n"
         "  -t, --type TYPE       " +
         ImageTypeNameList() +
         ";\n"
         "                        without -t the extension of the output decides\n"
         "                        (none, or '-': bmp)\n"
         "  -s, --scale N         pixels per module, 1 to 64 (default 1); the quiet\n"
         "                        zone grows with it\n"
         "  -d, --dpi D           resolution written into the file (default 72), so\n"
         "                        that it prints at the size the summary gives in mm\n"
         "      --latin1          the text is UTF-8: write it as ISO-8859-1, the QR Code\n"
         "                        character set that every reader reads the same; a text\n"
         "                        with a character outside it is refused\n"
         "      --show            print the symbol even when standard output is not a\n"
         "                        terminal (on a terminal it is printed by default)\n"
         "  -n, --no-show         never print the symbol\n"
         "  -q, --quiet           no summary line\n"
         "  -h, --help            show this help\n"
         "  -V, --version         show the tool's version\n"
         "  --                    end of options: a TEXT starting with '-' may follow\n"
         "Short options combine (-nq, -ns4), values may be attached (-lH, --level=H,\n"
         "-ofile.bmp).\n"
         "\n"
         "Longest text: " +
         limits +
         " bytes.\n"
         "\n"
         "Exit status:\n"
         "  0  the file was written (with --batch: every file)\n"
         "  1  the text is too long for the level\n"
         "  2  usage error: unknown option, missing or bad value, no text (or an empty\n"
         "     standard input read for lack of one), or more than one text\n"
         "  3  the file (or standard output) could not be written\n"
         "  4  the level is not one of L, M, Q, H\n"
         "  5  the text contains a NUL byte, which the library cannot take\n"
         "  6  the input file or standard input could not be read\n"
         "  7  error correction failed (not expected to happen)\n"
         "  8  --batch: at least one text failed (each is reported with its number)\n"
         "  9  --latin1: the text is not UTF-8, or has a character outside ISO-8859-1\n";
}

}  // namespace qrtool
