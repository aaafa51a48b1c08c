// What the tool needs from the system, the same on POSIX and Windows:
// files by UTF-8 name, standard streams, terminals and error messages.
#ifndef QRIMAGE_TOOL_PLATFORM_H
#define QRIMAGE_TOOL_PLATFORM_H

#include <cstdio>
#include <string>

namespace qrtool {

// Writes `bytes` to `path` (UTF-8; "-" is standard output). An existing
// regular file is replaced only once the new one is complete: a write that
// fails leaves the old file as it was, and no partial file anywhere.
// Returns false with the reason of the first failure in `reason`.
bool WriteFile(const std::string& path, const std::string& bytes, std::string& reason);

// Writes to a stream and flushes it; false with the reason.
bool WriteStream(std::FILE* stream, const std::string& bytes, std::string& reason);

// Which file a descriptor or a name refers to, to tell two names or a name
// and an open stream that are the same file (a link or another spelling of
// its name too).
struct FileId {
  bool known = false;
  unsigned long long volume = 0;
  unsigned long long index = 0;

  bool SameAs(const FileId& other) const {
    return known && other.known && volume == other.volume && index == other.index;
  }
};
FileId FileIdOf(int descriptor);
FileId FileIdOf(const std::string& path);

// Whether writing `path` would write to what standard output is (such as
// /dev/stdout, or the file standard output is redirected to).
bool IsStandardOutput(const std::string& path);

// Opens a file for reading by its UTF-8 name; nullptr on failure.
std::FILE* OpenForReading(const std::string& path);

// The descriptor of `stream`, switched to binary reads (no CR LF
// translation on Windows).
int BinaryDescriptor(std::FILE* stream);

// Reads up to `size` bytes from a descriptor, again when a signal cut the
// read short: the count, 0 at the end, or -1 with errno set.
long ReadDescriptor(int descriptor, char* buffer, unsigned size);

bool IsTerminal(std::FILE* stream);

// Character cells per line of the terminal `stream` writes to; 0 when
// unknown.
int TerminalColumns(std::FILE* stream = stdout);

// Prepares a Windows console for UTF-8 (half blocks, names) and colour codes.
void PrepareConsole();

// The system's message for the last failure, taken right after it.
std::string SystemError();

#ifdef _WIN32
// A UTF-16 command-line argument as UTF-8.
std::string Utf8FromWide(const wchar_t* wide);
#endif

}  // namespace qrtool

#endif
