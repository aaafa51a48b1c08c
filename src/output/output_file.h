// The platform's file operations, as the bitmap writer needs them.
#ifndef QRIMAGE_SRC_OUTPUT_OUTPUT_FILE_H
#define QRIMAGE_SRC_OUTPUT_OUTPUT_FILE_H

#include <cstddef>

#ifdef _WIN32
#include <windows.h>
#endif

namespace qrimage {

// Paths of this many characters or more are refused before the file
// system is asked.
constexpr int kMaxPathLength = 260;

struct OutputFile {
#ifdef _WIN32
  HANDLE handle;
  wchar_t widePath[kMaxPathLength];  // the converted path, for removal
#else
  int descriptor;
  const char* path;
#endif
  bool isRegularFile;  // only a regular file is removed after a failure
};

// Creates the file or truncates an existing one, for writing only. On
// failure returns false and nothing has been created or changed.
bool OpenOutputFile(const char* path, OutputFile& file);

// Writes all `count` bytes; false if any could not be written.
bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count);

// Closes the file; false if closing reported an error.
bool CloseOutputFile(OutputFile& file);

// After a failed write or close: closes the file if it is still open and
// removes it when it is a regular file, so no partial bitmap is left.
void DiscardOutputFile(OutputFile& file, bool stillOpen);

}  // namespace qrimage

#endif
