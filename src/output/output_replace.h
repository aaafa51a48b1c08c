// The writers only the tool uses: replacing a file whole, and standard
// output. They are built into the tool's own library, so the library's
// binaries carry none of them.
#ifndef QRIMAGE_SRC_OUTPUT_OUTPUT_REPLACE_H
#define QRIMAGE_SRC_OUTPUT_OUTPUT_REPLACE_H

#include "output/output_file.h"

namespace qrimage {

// Standard output as it is, written in place and never closed.
bool OpenStandardOutput(OutputFile& file);

// Storage for the names a replacement needs, kept apart from OutputFile so
// that in-place writers do not carry it on their stack.
struct ReplacementNames {
#ifndef _WIN32
  char target[4096];     // the path with its symbolic links followed
  char temporary[4096];  // the new file beside it
#endif
};

// What OpenReplacement did.
enum class Replacement {
  kOpened,   // a new file beside the target is open for writing
  kInPlace,  // the path is no file to replace whole: write it in place
  kRefused,  // a file to replace that may not be written, or whose new file
             // cannot be made: `file.error` says why
};

// Opens a new file beside `path` to be renamed over it (see
// ReplaceOutput). Unless it is opened, nothing has been changed.
Replacement OpenReplacement(const char* path, OutputFile& file, ReplacementNames& names);

// Puts a closed replacement in its target's place. On failure it is
// removed, `file.error` is set, and `writeInPlace` tells whether only the
// move was refused (a file mounted over the name, say), so that the target
// itself may be written in place instead.
bool MoveIntoPlace(OutputFile& file, bool& writeInPlace);

// Ends a replacement whose write failed (and was discarded).
void AbandonReplacement(OutputFile& file);

// These writers write the whole file in one request, as WriteAndClose
// does (see output_file.h).

// Creates or truncates the named file and writes it in place.
bool WriteOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error);

// An existing regular file with one name, owned by the caller, is written
// as a new file in the same folder that is renamed over it when complete
// (through symbolic links, over their final target), keeping its
// permission bits and group: a failure, or a new file that cannot be made,
// leaves the old file as it was and nothing else. A file the caller may not
// write is refused as an in-place write would be. Where the rename alone is
// refused, the finished picture is written in place. On POSIX, SIGHUP,
// SIGINT and SIGTERM at their default disposition remove the new file
// before they end the process. Anything else, and a file in a folder the
// caller may not add to or in a group the caller cannot give, is written
// in place.
bool ReplaceOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error);

// Writes standard output as it is, and leaves it open.
bool WriteStandardOutput(const void* bytes, std::size_t count, SystemErrorCode& error);

}  // namespace qrimage

#endif
