// The platform's file operations, as the bitmap writer needs them.
#ifndef QRIMAGE_SRC_OUTPUT_OUTPUT_FILE_H
#define QRIMAGE_SRC_OUTPUT_OUTPUT_FILE_H

#include <cstddef>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/types.h>
#endif

namespace qrimage {

// Paths of this many characters or more are refused before the file
// system is asked.
constexpr int kMaxPathLength = 260;

#ifndef _WIN32
// The writes of one file are gathered and reach the file in one go when it
// is closed (see output_file_posix.cpp). A bitmap is at most 4502 bytes.
constexpr std::size_t kGatherBytes = 8192;
#endif

struct OutputFile {
#ifdef _WIN32
  HANDLE handle;
  wchar_t widePath[kMaxPathLength];  // the converted path, for removal
#else
  int descriptor;
  const char* path;
  dev_t device;  // the opened file's identity: only this file's own name
  ino_t inode;   // is removed after a failure
  std::size_t gatheredCount;
  char gathered[kGatherBytes];
#endif
  bool isRegularFile;  // only a regular file is emptied and removed
};

// Creates the file or truncates an existing one, for writing only. On
// failure returns false and nothing has been created or changed.
bool OpenOutputFile(const char* path, OutputFile& file);

// Writes all `count` bytes; false if any could not be written.
bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count);

// Closes the file; false if closing reported an error.
bool CloseOutputFile(OutputFile& file);

// After a failed write or close: empties a regular file, closes it if it
// is still open and removes its name when that name is its only one and
// not a symbolic link, so no partial bitmap is left under any name.
void DiscardOutputFile(OutputFile& file, bool stillOpen);

}  // namespace qrimage

#endif
