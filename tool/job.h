// What the tool does with one text, in single and batch runs alike: check
// it, encode it, render the picture and write it to a file or standard
// output. Also the few platform helpers the tool needs around that.
#ifndef QRIMAGE_TOOL_JOB_H
#define QRIMAGE_TOOL_JOB_H

#include <cstdio>
#include <string>

#include "image_formats.h"

namespace qrtool {

// A file or standard input is read up to this many bytes; more is far past
// every level's capacity, and /dev/zero-like inputs must not run forever.
constexpr std::size_t kMaxInputBytes = 1 << 20;

struct Job {
  int level = 1;  // index into the level letters
  bool latin1 = false;
  int minVersion = 1;  // -v: the smallest version the symbol may have
  bool eci = false;    // --eci: the text as UTF-8 behind an ECI designator
  ImageType type = ImageType::kBmp;
  ImageOptions image;
  bool preview = false;         // also draw the symbol in half blocks
  bool previewColours = false;  // ... with the terminal's colour codes
};

struct Result {
  int version = 0;
  std::size_t textBytes = 0;  // after any conversion
  std::string file;           // the picture
  std::string preview;        // the half-block drawing, when asked for
};

// Checks and encodes `text` (converted in place by --latin1) and renders
// it. Returns kOk, or an exit status with `error` set to the message.
int Produce(std::string& text, const Job& job, Result& result, std::string& error);

// Writes `bytes` to `path` (UTF-8; "-" is standard output). An existing
// regular file is replaced only once the new one is complete: a write that
// fails leaves the old file as it was, and no partial file anywhere.
// Returns false with the reason of the first failure in `reason`.
bool WriteFile(const std::string& path, const std::string& bytes, std::string& reason);

// Writes to standard output and flushes it; false with the reason.
bool WriteStream(std::FILE* stream, const std::string& bytes, std::string& reason);

// Whether writing `path` would write to what standard output is (such as
// /dev/stdout, or the file standard output is redirected to).
bool IsStandardOutput(const std::string& path);

// Opens a file for reading by its UTF-8 name.
std::FILE* OpenForReading(const std::string& path);

bool IsTerminal(std::FILE* stream);

// Character cells per line of the terminal on standard output; 0 when
// unknown.
int TerminalColumns();

// Prepares a Windows console for UTF-8 (half blocks, names) and colour codes.
void PrepareConsole();

// The system's message for the last failure, taken right after it.
std::string SystemError();
void ClearSystemError();

// "the text is 3000 bytes; level M holds at most 2331 bytes (level L holds
// 2953)"; with `eci`, the smaller capacities behind the ECI header.
std::string TooLongMessage(std::size_t length, int level, bool eci = false);

}  // namespace qrtool

#endif
