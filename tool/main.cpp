// qrimage: writes a text as a QR Code bitmap from the shell and shows the
// symbol in the terminal.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "bitmap_reader.h"
#include "preview.h"
#include "qrimage.h"

#ifndef QRIMAGE_TOOL_VERSION
#define QRIMAGE_TOOL_VERSION "unknown"
#endif

namespace {

// Exit statuses, one per kind of failure; --help and the README list them.
enum ExitStatus {
  kOk = 0,
  kTextTooLong = 1,
  kUsage = 2,
  kCannotWrite = 3,
  kBadLevel = 4,
  kNulByte = 5,
  kCannotRead = 6,
  kEncodingFailed = 7,
};

constexpr char kLevels[] = "LMQH";
// Bytes that version 40 holds at L, M, Q and H. The library enforces them;
// the tool only names them when a text is refused.
constexpr int kLevelCapacity[4] = {2953, 2331, 1663, 1273};
// A file or standard input is read up to this many bytes; more is far past
// every level's capacity, and /dev/zero-like inputs must not run forever.
constexpr std::size_t kMaxInputBytes = 1 << 20;

const char kHelp[] =
    "usage: qrimage [OPTIONS] [TEXT | -]\n"
    "\n"
    "Encodes a text as a QR Code symbol, writes it as a 1-bit BMP file (one\n"
    "pixel per module, 4-module quiet zone) and prints a one-line summary.\n"
    "The text is taken byte for byte, with no character-set conversion and\n"
    "no trailing newline removed.\n"
    "\n"
    "Where the text comes from (exactly one):\n"
    "  TEXT                  the argument itself\n"
    "  -                     standard input\n"
    "  -i, --input FILE      the contents of FILE\n"
    "  (nothing)             standard input, when it is not a terminal (and not empty)\n"
    "\n"
    "Options:\n"
    "  -l, --level LEVEL     error-correction level L, M (default), Q or H;\n"
    "                        they restore about 7, 15, 25, 30 % of the symbol\n"
    "  -o, --output FILE     bitmap to write (default qr.bmp); replaced if it exists\n"
    "  -s, --show            print the symbol even when standard output is not a\n"
    "                        terminal (on a terminal it is printed by default)\n"
    "  -n, --no-show         never print the symbol\n"
    "  -h, --help            show this help\n"
    "  -V, --version         show the tool's version\n"
    "  --                    end of options: a TEXT starting with '-' may follow\n"
    "Values may also be attached: -lH, --level=H, -ofile.bmp.\n"
    "\n"
    "Longest text: 2953 bytes at L, 2331 at M, 1663 at Q, 1273 at H.\n"
    "\n"
    "Exit status:\n"
    "  0  the bitmap was written\n"
    "  1  the text is too long for the level\n"
    "  2  usage error: unknown option, missing value, no text (or an empty\n"
    "     standard input read for lack of one), or more than one text\n"
    "  3  the bitmap could not be written (or read back for the preview)\n"
    "  4  the level is not one of L, M, Q, H\n"
    "  5  the text contains a NUL byte, which the library cannot take\n"
    "  6  the input file or standard input could not be read\n"
    "  7  error correction failed (not expected to happen)\n";

enum class Show { kAuto, kAlways, kNever };

struct Options {
  char level = 'M';
  const char* output = "qr.bmp";
  const char* text = nullptr;       // TEXT argument
  const char* inputFile = nullptr;  // -i FILE
  bool readStdin = false;           // the argument "-"
  Show show = Show::kAuto;
  bool help = false;
  bool version = false;
};

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "qrimage: %s\n", message.c_str());
  return status;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "qrimage: %s\nTry 'qrimage --help' for more information.\n",
               message.c_str());
  return kUsage;
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// The library reports a failed write only as its file error; the system's
// own error code from the failing call is still in errno (the last-error
// value on Windows), as nothing else fails between there and the return.
void ClearSystemError() {
  errno = 0;
#ifdef _WIN32
  SetLastError(0);
#endif
}

std::string SystemError() {
#ifdef _WIN32
  const DWORD code = GetLastError();
  if (code == 0) {
    return {};
  }
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == '.' || text[length - 1] == ' ')) {
    --length;
  }
  return std::string(text, length);
#else
  return errno != 0 ? std::strerror(errno) : std::string();
#endif
}

int ParseLevel(const char* value, Options& options) {
  const char* found =
      value[0] != '\0' && value[1] == '\0' ? std::strchr("LMQHlmqh", value[0]) : nullptr;
  if (found == nullptr) {
    return Fail(kBadLevel,
                "unknown error-correction level '" + std::string(value) + "': use L, M, Q or H");
  }
  options.level = kLevels[(found - "LMQHlmqh") % 4];
  return kOk;
}

// Returns kOk, or the exit status of a failure already reported.
int ParseArguments(int argc, char** argv, Options& options) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (arg == "-" && !optionsEnded) {
        if (options.readStdin) {
          return UsageError("'-' given more than once");
        }
        options.readStdin = true;
      } else if (options.text != nullptr) {
        return UsageError("more than one text given: '" + std::string(options.text) + "' and '" +
                          arg + "' (quote a text that has spaces)");
      } else {
        options.text = argv[i];
      }
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    // Split "--name=value" and "-xVALUE"; a value may also be the next argument.
    std::string name = arg;
    const char* value = nullptr;
    if (arg.compare(0, 2, "--") == 0) {
      const std::size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = argv[i] + equals + 1;
      }
    } else if (arg.size() > 2) {
      name = arg.substr(0, 2);
      value = argv[i] + 2;
    }

    const bool takesValue = name == "-l" || name == "--level" || name == "-o" ||
                            name == "--output" || name == "-i" || name == "--input";
    if (!takesValue) {
      if (value != nullptr) {
        return UsageError("option '" + name + "' takes no value");
      }
      if (name == "-s" || name == "--show") {
        options.show = Show::kAlways;
      } else if (name == "-n" || name == "--no-show") {
        options.show = Show::kNever;
      } else if (name == "-h" || name == "--help") {
        options.help = true;
      } else if (name == "-V" || name == "--version") {
        options.version = true;
      } else {
        return UsageError("unknown option '" + arg + "'");
      }
      continue;
    }
    if (value == nullptr) {
      if (i + 1 >= argc) {
        return UsageError("option '" + name + "' needs a value");
      }
      value = argv[++i];
    }
    if (name == "-l" || name == "--level") {
      const int status = ParseLevel(value, options);
      if (status != kOk) {
        return status;
      }
    } else if (name == "-o" || name == "--output") {
      options.output = value;
    } else {
      options.inputFile = value;
    }
  }
  return kOk;
}

// Reads up to kMaxInputBytes + 1 bytes, enough to tell a too-long input.
int ReadInput(std::FILE* stream, const std::string& name, std::string& text) {
  char chunk[4096];
  std::size_t got;
  while (text.size() <= kMaxInputBytes && (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
    text.append(chunk, got);
  }
  if (std::ferror(stream)) {
    return Fail(kCannotRead, "cannot read " + name + ": " + SystemError());
  }
  return kOk;
}

int LoadText(const Options& options, std::string& text) {
  if (options.text != nullptr) {
    text = options.text;
    return kOk;
  }
  if (options.inputFile != nullptr) {
    const std::string name = "'" + std::string(options.inputFile) + "'";
    std::FILE* file = std::fopen(options.inputFile, "rb");
    if (file == nullptr) {
      return Fail(kCannotRead, "cannot read " + name + ": " + SystemError());
    }
    const int status = ReadInput(file, name, text);
    std::fclose(file);
    return status;
  }
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  return ReadInput(stdin, "standard input", text);
}

int TooLong(std::size_t length, char level) {
  const int index = static_cast<int>(std::strchr(kLevels, level) - kLevels);
  const std::string size = length > kMaxInputBytes ? "more than " + std::to_string(kMaxInputBytes)
                                                   : std::to_string(length);
  std::string message = "the text is " + size + " bytes; level " + level + " holds at most " +
                        std::to_string(kLevelCapacity[index]) + " bytes";
  // Point to the strongest level that would still take the text.
  for (int lower = index - 1; lower >= 0; --lower) {
    if (length <= static_cast<std::size_t>(kLevelCapacity[lower])) {
      message += " (level " + std::string(1, kLevels[lower]) + " holds " +
                 std::to_string(kLevelCapacity[lower]) + ")";
      break;
    }
  }
  return Fail(kTextTooLong, message);
}

int CannotWrite(const char* path) {
  std::string reason = SystemError();  // first, before anything can change it
  const std::size_t length = std::strlen(path);
  if (length == 0) {
    reason = "the path is empty";
  } else if (length >= 260) {
    reason = "the path is " + std::to_string(length) + " bytes long; the library takes at most 259";
  } else if (reason.empty()) {
    reason = "the file could not be written";
  }
  return Fail(kCannotWrite, "cannot write '" + std::string(path) + "': " + reason);
}

void PrepareConsole() {
#ifdef _WIN32
  // Half blocks are UTF-8, and the colour codes need the console's
  // terminal mode.
  SetConsoleOutputCP(CP_UTF8);
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode)) {
    SetConsoleMode(console, mode | 0x0004);  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  }
#endif
}

int ShowSymbol(const char* path, int version) {
  qrtool::Bitmap bitmap;
  std::string error;
  if (!qrtool::ReadBitmap(path, bitmap, error)) {
    return Fail(kCannotWrite,
                "cannot read back '" + std::string(path) + "' for the preview: " + error);
  }
  if (bitmap.side != 4 * version + 25) {
    return Fail(kCannotWrite,
                "'" + std::string(path) + "' no longer holds the symbol just written; no preview");
  }
  const bool terminal = IsTerminal(stdout);
  if (terminal) {
    PrepareConsole();
  }
  qrtool::PrintPreview(stdout, bitmap, terminal);
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = ParseArguments(argc, argv, options);
  if (status != kOk) {
    return status;
  }
  if (options.help) {
    std::fputs(kHelp, stdout);
    return kOk;
  }
  if (options.version) {
    std::printf("qrimage %s\n", QRIMAGE_TOOL_VERSION);
    return kOk;
  }

  const int sources =
      (options.text != nullptr) + (options.inputFile != nullptr) + (options.readStdin ? 1 : 0);
  if (sources > 1) {
    return UsageError("give the text one way only: as TEXT, with -i FILE, or as '-'");
  }
  const bool implicitStdin = sources == 0;
  if (implicitStdin) {
    if (IsTerminal(stdin)) {
      return UsageError("no text given: pass TEXT, use -i FILE, or pipe the text in");
    }
    options.readStdin = true;
  }

  std::string text;
  status = LoadText(options, text);
  if (status != kOk) {
    return status;
  }
  // An empty text is encoded when asked for ("", '-' or an empty file), but
  // an empty standard input that was only read for lack of a text is more
  // likely a forgotten argument.
  if (implicitStdin && text.empty()) {
    return UsageError("no text given, and standard input is empty");
  }
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    return Fail(kNulByte, "the text contains a NUL byte (at byte " + std::to_string(nul) +
                              "); it cannot be encoded, as the library would end the text there");
  }
  if (text.size() > kMaxInputBytes) {
    return TooLong(text.size(), options.level);
  }

  ClearSystemError();
  const int result = QRImage(text.c_str(), options.level, options.output);
  if (result == QRIMAGE_ERROR_FILE) {
    return CannotWrite(options.output);
  }
  if (result == QRIMAGE_ERROR_INPUT) {
    return TooLong(text.size(), options.level);  // the level was checked above
  }
  if (result < QRIMAGE_VERSION_MIN || result > QRIMAGE_VERSION_MAX) {
    return Fail(kEncodingFailed, "error correction failed (result " + std::to_string(result) + ")");
  }

  const bool show =
      options.show == Show::kAlways || (options.show == Show::kAuto && IsTerminal(stdout));
  if (show) {
    status = ShowSymbol(options.output, result);
    if (status != kOk) {
      return status;
    }
  }
  const int modules = 4 * result + 17;
  std::printf("%zu bytes, level %c, version %d, %dx%d modules, %s\n", text.size(), options.level,
              result, modules, modules, options.output);
  return kOk;
}
