#include "platform.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "report.h"
#include "tool_core/output/output_replace.h"

namespace qrtool {
namespace {

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

#ifdef _WIN32
std::wstring Widen(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// `wide` in code page `page`, false when a character has no place in it (a
// best-fit letter would name another file).
bool Narrow(const wchar_t* wide, UINT page, std::string& narrow) {
  const DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL lossy = FALSE;
  BOOL* const lossyOut = page == CP_UTF8 ? nullptr : &lossy;
  const int length = WideCharToMultiByte(page, flags, wide, -1, nullptr, 0, nullptr, lossyOut);
  if (length <= 0 || lossy) {
    narrow.clear();
    return false;
  }
  narrow.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(page, flags, wide, -1, narrow.data(), length, nullptr, lossyOut);
  narrow.resize(static_cast<std::size_t>(length) - 1);
  return !lossy;
}

FileId FileIdOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info)) {
    return {};
  }
  return {true, info.dwVolumeSerialNumber,
          static_cast<unsigned long long>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}
#else
FileId FileIdOf(const struct stat& status) {
  return {true, static_cast<unsigned long long>(status.st_dev), status.st_ino};
}
#endif

// The reason a write of `path` failed with `error`.
std::string WriteFailure(const std::string& path, qrimage::SystemErrorCode error) {
#ifndef _WIN32
  // A FIFO is opened without waiting for a reader, and fails without one.
  struct stat status;
  if (error == ENXIO && stat(path.c_str(), &status) == 0 && S_ISFIFO(status.st_mode)) {
    return "nothing reads the FIFO";
  }
#else
  (void)path;
#endif
  return SystemErrorText(error);
}

// The form of `path` the library's writer takes, in `libraryPath`; the
// reason it cannot be written (it is the file `input`, or no path the
// library takes), or "".
std::string LibraryPath(const std::string& path, const FileId& input, std::string& libraryPath) {
  libraryPath = path;
  if (input.SameAs(qrtool::FileIdOf(path))) {
    return "it is the file the text is read from";
  }
#ifdef _WIN32
  // The library takes paths in the thread's ANSI code page.
  if (!Narrow(Widen(path).c_str(), CP_THREAD_ACP, libraryPath)) {
    return "the path has a character outside the ANSI code page";
  }
#endif
  if (libraryPath.empty()) {
    return "the path is empty";
  }
  if (libraryPath.size() > kLongestPath) {
    return "the path is " + std::to_string(libraryPath.size()) + " bytes long; at most " +
           std::to_string(kLongestPath) + " are taken";
  }
  return "";
}

}  // namespace

const std::size_t kLongestPath = qrimage::kMaxPathLength - 1;

bool WriteFiles(const std::vector<std::string>& paths,
                const std::vector<const std::string*>& pictures, const FileId& input,
                std::string& message) {
  const auto cannot = [&](std::size_t i, const std::string& reason) {
    message = "cannot write " +
              (paths[i] == "-" ? std::string("standard output") : Printable(paths[i], true)) +
              ": " + reason;
    return false;
  };
  qrimage::SystemErrorCode error = 0;
  if (paths.size() == 1 && paths[0] == "-") {
    // Anything the stream holds goes first; the picture then goes through
    // the library's writer, which holds SIGPIPE and SIGXFSZ back.
    if (std::fflush(stdout) != 0) {
      return cannot(0, SystemError());
    }
    return qrimage::WriteStandardOutput(pictures[0]->data(), pictures[0]->size(), error) ||
           cannot(0, SystemErrorText(error));
  }
  std::vector<std::string> libraryPaths(paths.size());
  std::vector<qrimage::OutputPart> parts;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string reason = LibraryPath(paths[i], input, libraryPaths[i]);
    if (!reason.empty()) {
      return cannot(i, reason);
    }
    // What standard output is open on is written in place, like standard
    // output itself: replacing its name would leave the stream behind.
    parts.push_back({libraryPaths[i].c_str(), pictures[i]->data(), pictures[i]->size(),
                     IsStandardOutput(paths[i])});
  }
  int failed = 0;
  std::vector<qrimage::Left> left(parts.size());
  if (qrimage::WriteOutputs(parts.data(), static_cast<int>(parts.size()), failed, error,
                            left.data())) {
    return true;
  }
  cannot(static_cast<std::size_t>(failed), WriteFailure(libraryPaths[failed], error));
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (left[i] == qrimage::Left::kNew) {
      message += "; " + Printable(paths[i], true) + " already holds its new picture";
    } else if (left[i] == qrimage::Left::kPartlyNew) {
      message += "; " + Printable(paths[i], true) +
                 " now holds part of its new picture (its old contents could not be put back)";
    }
  }
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

#ifdef _WIN32
FileId FileIdOf(int descriptor) {
  return FileIdOf(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)));
}

FileId FileIdOf(const std::string& path) {
  const HANDLE handle =
      CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const FileId id = FileIdOf(handle);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
  }
  return id;
}
#else
FileId FileIdOf(int descriptor) {
  struct stat status;
  return fstat(descriptor, &status) == 0 ? FileIdOf(status) : FileId{};
}

FileId FileIdOf(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? FileIdOf(status) : FileId{};
}
#endif

bool IsStandardOutput(const std::string& path) {
  return FileIdOf(1).SameAs(FileIdOf(path));
}

std::FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
  return _wfopen(Widen(path).c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

int BinaryDescriptor(std::FILE* stream) {
#ifdef _WIN32
  _setmode(_fileno(stream), _O_BINARY);
  return _fileno(stream);
#else
  return fileno(stream);
#endif
}

long ReadDescriptor(int descriptor, char* buffer, unsigned size) {
  for (;;) {
#ifdef _WIN32
    const long got = _read(descriptor, buffer, size);
#else
    const long got = static_cast<long>(read(descriptor, buffer, size));
#endif
    if (got >= 0 || errno != EINTR) {
      return got;
    }
  }
}

bool IsTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

int TerminalColumns(std::FILE* stream) {
#ifdef _WIN32
  CONSOLE_SCREEN_BUFFER_INFO info;
  const DWORD handle = stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
  if (GetConsoleScreenBufferInfo(GetStdHandle(handle), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 0;
#else
  struct winsize size;
  return ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
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

std::string SystemError() {
#ifdef _WIN32
  const DWORD code = GetLastError();
#else
  const int code = errno;
#endif
  return code != 0 ? SystemErrorText(code) : std::string();
}

#ifdef _WIN32
std::string Utf8FromWide(const wchar_t* wide) {
  std::string text;
  Narrow(wide, CP_UTF8, text);
  return text;
}
#endif

}  // namespace qrtool
