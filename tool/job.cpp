#include "job.h"

#include <cerrno>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "api/encode.h"
#include "latin1.h"
#include "options.h"
#include "output/output_replace.h"
#include "qrimage.h"

namespace qrtool {

using qrimage::kLevelLetters;
using qrimage::kMaxVersion;

std::string SystemErrorText(qrimage::SystemErrorCode code);

namespace {

std::size_t LongestText(int level, bool eci) {
  return static_cast<std::size_t>(qrimage::ByteCapacity(kMaxVersion, level, eci));
}

}  // namespace

std::string TooLongMessage(std::size_t length, int level, bool eci) {
  const std::string size = length > kMaxInputBytes ? "more than " + std::to_string(kMaxInputBytes)
                                                   : std::to_string(length);
  // The ECI header's 12 bits cost every level a byte.
  std::string message = "the text is " + size + " bytes; " +
                        (eci ? "behind the ECI header of --eci, " : "") + "level " +
                        kLevelLetters[level] + " holds at most " +
                        std::to_string(LongestText(level, eci)) + " bytes";
  // Point to the strongest level that would still take the text.
  for (int lower = level - 1; lower >= 0; --lower) {
    if (length <= LongestText(lower, eci)) {
      message += " (level " + std::string(1, kLevelLetters[lower]) + " holds " +
                 std::to_string(LongestText(lower, eci)) + ")";
      break;
    }
  }
  return message;
}

namespace {

// The picture and the preview; std::bad_alloc when memory runs out.
bool Render(const qrimage::Symbol& encoded, const Job& job, Result& result, std::string& error) {
  const SymbolView symbol{encoded.modules, encoded.size, encoded.size};
  result.file.clear();
  if (!RenderImage(symbol, job.type, job.image, &result.file, &error)) {
    return false;
  }
  result.preview = job.preview ? RenderHalfBlocks(symbol, job.previewColours, 1, job.image.margin)
                               : std::string();
  return true;
}

}  // namespace

int Produce(std::string& text, const Job& job, Result& result, std::string& error) {
  const std::size_t nul = text.find('\0');
  if (nul != std::string::npos) {
    error = "the text contains a NUL byte (at byte " + std::to_string(nul + 1) +
            "); it cannot be encoded, as the library would end the text there";
    return kNulByte;
  }
  if (job.latin1 && !ConvertToLatin1(text, error)) {
    return kNotLatin1;
  }
  result.textBytes = text.size();
  if (text.size() > LongestText(job.level, job.eci)) {
    error = TooLongMessage(text.size(), job.level, job.eci);
    return kTextTooLong;
  }
  if (job.minVersion < qrimage::kMinVersion || job.minVersion > kMaxVersion) {
    error = "the smallest version must be from 1 to 40, not " + std::to_string(job.minVersion);
    return kUsage;
  }

  // The library hands over a copy of the symbol: the rendering below holds
  // up no other caller.
  qrimage::Symbol encoded;
  const qrimage::EncodeOptions options{job.minVersion, job.eci};
  const int version =
      qrimage::Encode(text.data(), text.size(), kLevelLetters[job.level], options, encoded);
  if (version == QRIMAGE_ERROR_INPUT) {
    error = TooLongMessage(text.size(), job.level, job.eci);
    return kTextTooLong;
  }
  if (version < QRIMAGE_VERSION_MIN || version > QRIMAGE_VERSION_MAX) {
    error = "error correction failed (result " + std::to_string(version) + ")";
    return kEncodingFailed;
  }
  result.version = version;
  try {
    if (!Render(encoded, job, result, error)) {
      return kCannotWrite;
    }
  } catch (const std::bad_alloc&) {
    result.file = std::string();
    error = "out of memory for the picture";
    return kCannotWrite;
  }
  return kOk;
}

#ifdef _WIN32
namespace {

std::wstring Widen(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// The library takes paths in the thread's ANSI code page. False when a
// character of the path has no place in it (a best-fit letter would name
// another file).
bool ToAnsiCodePage(const std::string& path, std::string& ansi) {
  const std::wstring wide = Widen(path);
  BOOL lossy = FALSE;
  const int length = WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1,
                                         nullptr, 0, nullptr, &lossy);
  if (length <= 0 || lossy) {
    return false;
  }
  ansi.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, ansi.data(), length,
                      nullptr, &lossy);
  ansi.resize(static_cast<std::size_t>(length) - 1);
  return !lossy;
}

}  // namespace
#endif

bool WriteFile(const std::string& path, const std::string& bytes, std::string& reason) {
  qrimage::SystemErrorCode error = 0;
  if (path == "-") {
    // Anything the stream holds goes first; the picture then goes through
    // the library's writer, which holds SIGPIPE and SIGXFSZ back.
    if (std::fflush(stdout) != 0) {
      reason = SystemError();
      return false;
    }
    if (qrimage::WriteStandardOutput(bytes.data(), bytes.size(), error)) {
      return true;
    }
    reason = SystemErrorText(error);
    return false;
  }
  std::string libraryPath = path;
#ifdef _WIN32
  if (!ToAnsiCodePage(path, libraryPath)) {
    reason = "the path has a character outside the ANSI code page";
    return false;
  }
#endif
  if (libraryPath.empty()) {
    reason = "the path is empty";
    return false;
  }
  if (libraryPath.size() >= qrimage::kMaxPathLength) {
    reason = "the path is " + std::to_string(libraryPath.size()) + " bytes long; at most " +
             std::to_string(qrimage::kMaxPathLength - 1) + " are taken";
    return false;
  }
  // What standard output is open on is written in place, like standard
  // output itself: replacing its name would leave the stream behind.
  const auto write = IsStandardOutput(path) ? qrimage::WriteOutput : qrimage::ReplaceOutput;
  if (write(libraryPath.c_str(), bytes.data(), bytes.size(), error)) {
    return true;
  }
  reason = SystemErrorText(error);
  return false;
}

bool WriteStream(std::FILE* stream, const std::string& bytes, std::string& reason) {
  errno = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() &&
      std::fflush(stream) == 0) {
    return true;
  }
  reason = errno != 0 ? std::strerror(errno) : "the stream could not be written";
  return false;
}

bool IsStandardOutput(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  struct stat output;
  struct stat target;
  return fstat(STDOUT_FILENO, &output) == 0 && stat(path.c_str(), &target) == 0 &&
         output.st_dev == target.st_dev && output.st_ino == target.st_ino;
#endif
}

std::FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
  return _wfopen(Widen(path).c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

int TerminalColumns() {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 0;
#else
  struct winsize size;
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
#endif
}

void PrepareConsole() {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
  const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(console, &mode)) {
    SetConsoleMode(console, mode | 0x0004);  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  }
#endif
}

void ClearSystemError() {
  errno = 0;
#ifdef _WIN32
  SetLastError(0);
#endif
}

std::string SystemErrorText(qrimage::SystemErrorCode code) {
  if (code == 0) {
    return "the file could not be written";
  }
#ifdef _WIN32
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' ||
                        text[length - 1] == '.' || text[length - 1] == ' ')) {
    --length;
  }
  return std::string(text, length);
#else
  return std::strerror(code);
#endif
}

std::string SystemError() {
#ifdef _WIN32
  const DWORD code = GetLastError();
#else
  const int code = errno;
#endif
  return code != 0 ? SystemErrorText(code) : std::string();
}

}  // namespace qrtool
