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

// Opens a new file beside `path` to be renamed over it (see
// ReplaceOutput). False when the path is no file to replace that
// way, or the new file cannot be made: nothing has been changed, and the
// path is to be written in place.
bool OpenReplacement(const char* path, OutputFile& file, ReplacementNames& names);

// Puts a closed replacement in its target's place; false if that reported
// an error.
bool MoveIntoPlace(OutputFile& file);

// These writers write the whole file in one request, as WriteAndClose
// does (see output_file.h).

// Creates or truncates the named file and writes it in place.
bool WriteOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error);

// An existing regular file with one name, owned by the caller, is written
// as a new file in the same folder that is renamed over it when complete
// (through symbolic links, over their final target), keeping its
// permission bits: a failure leaves the old file as it was and nothing
// else. Anything else is written in place.
bool ReplaceOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error);

// Writes standard output as it is, and leaves it open.
bool WriteStandardOutput(const void* bytes, std::size_t count, SystemErrorCode& error);

}  // namespace qrimage

#endif
