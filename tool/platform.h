// What the tool needs from the system, the same on POSIX and Windows:
// files by UTF-8 name, standard streams, terminals and error messages.
#ifndef QRIMAGE_TOOL_PLATFORM_H
#define QRIMAGE_TOOL_PLATFORM_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace qrtool {

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

// The longest path WriteFiles takes, in bytes.
extern const std::size_t kLongestPath;

// Writes each picture to its path (UTF-8; "-" alone is standard output),
// all or none (see qrimage::WriteOutputs): an existing regular file is
// replaced only once every new one is complete, and a file written in
// place keeps its old contents when a write fails. A path that is the file
// `input` (what the text is read from) is never written. Returns false
// with the message in `message`: the first failure, with its path and
// reason, and any file that does not hold what it held before.
bool WriteFiles(const std::vector<std::string>& paths,
                const std::vector<const std::string*>& pictures, const FileId& input,
                std::string& message);

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
