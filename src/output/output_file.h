// The platform's file operations, and the one sequence that writes a whole
// file with them: the library's bitmaps and the tool's pictures alike. The
// writers only the tool uses are in output_replace.h.
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

#ifdef _WIN32
using SystemErrorCode = DWORD;  // GetLastError
// Room for the name of a temporary file beside the target.
constexpr int kTemporarySuffixLength = 24;
#else
using SystemErrorCode = int;  // errno
#endif

struct OutputFile {
#ifdef _WIN32
  HANDLE handle;
  // The converted path, for removal; while replacing, the temporary file's.
  wchar_t widePath[kMaxPathLength + kTemporarySuffixLength];
  wchar_t targetPath[kMaxPathLength];  // while replacing: the name to replace
#else
  int descriptor;
  const char* path;    // while replacing: the temporary file's
  const char* target;  // while replacing: the name to replace; else null
  dev_t device;        // the opened file's identity: only this file's own name
  ino_t inode;         // is removed after a failure
#endif
  bool isRegularFile;     // only a regular file is emptied and removed
  bool isStandardOutput;  // never closed, emptied or removed here
  SystemErrorCode error;  // the system's code for the first failure, 0 if none
};

// Creates the file or truncates an existing one, for writing only. On
// failure returns false, `error` is set and nothing has been created or
// changed.
bool OpenOutputFile(const char* path, OutputFile& file);

// A record that holds no file yet: no error, no flags set.
#ifdef _WIN32
void StartOutputRecord(OutputFile& file);
#else
void StartOutputRecord(OutputFile& file, int descriptor, const char* path);
#endif

// Writes all `count` bytes; false if any could not be written.
bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count);

// Closes the file; false if that reported an error.
bool CloseOutputFile(OutputFile& file);

// After a failed write or close: empties a regular file, closes it if it
// is still open and removes its name when that name is its only one and
// not a symbolic link, so no partial bitmap is left under any name.
void DiscardOutputFile(OutputFile& file, bool stillOpen);

// One write request: `count` bytes from `bytes`, all of which must be
// written.
struct OutputRequest {
  const void* bytes;
  std::size_t count;
};

// Makes the `count` requests in order on the opened file and closes it;
// after a failure it discards what was written (see DiscardOutputFile).
// Returns false with `error` set to the system's code for the first
// failure (0 when the system gave none). SIGPIPE and SIGXFSZ raised by the
// writes are held back: such a write simply fails.
bool WriteAndClose(OutputFile& file, const OutputRequest* requests, int count,
                   SystemErrorCode& error);

// Creates or truncates the named file and writes it in place, as
// WriteAndClose does.
bool WriteOutputRequests(const char* path, const OutputRequest* requests, int count,
                         SystemErrorCode& error);

}  // namespace qrimage

#endif
