// The writers only the tool uses: replacing a file whole, and standard
// output. They are built into the tool's own library, so the library's
// binaries carry none of them.
#ifndef QRIMAGE_SRC_TOOL_CORE_OUTPUT_OUTPUT_REPLACE_H
#define QRIMAGE_SRC_TOOL_CORE_OUTPUT_OUTPUT_REPLACE_H

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
// WriteOutputs); with `newFile`, also where `path` names no file yet.
// Unless it is opened, nothing has been changed.
Replacement OpenReplacement(const char* path, OutputFile& file, ReplacementNames& names,
                            bool newFile);

// Puts a closed replacement in its target's place. On failure it is
// removed, `file.error` is set, and `writeInPlace` tells whether only the
// move was refused (a file mounted over the name, say), so that the target
// itself may be written in place instead.
bool MoveIntoPlace(OutputFile& file, bool& writeInPlace);

// Ends a replacement whose write failed (and was discarded), or removes
// one that is written but will not be moved into place.
void AbandonReplacement(OutputFile& file, bool written);

// What OpenInPlace did.
enum class InPlace {
  kKept,       // an existing regular file, open to be read and written
  kWriteOnly,  // one the caller may write but not read
  kOther,      // anything else: no regular file to keep (see WriteOutput)
  kRefused,    // `file.error` says why; nothing has been changed
};

// Opens an existing regular file to be written in place without changing
// it yet; `length` is its length.
InPlace OpenInPlace(const char* path, OutputFile& file, unsigned long long& length);

// Opens again, for writing, the file an OpenInPlace record names after its
// handle was closed, provided the path still leads to it.
bool ReopenInPlace(OutputFile& file);

// Reads the first `count` bytes of a file opened in place.
bool ReadFromStart(OutputFile& file, void* bytes, std::size_t count);

// Sets the position of the next write to the start of the file.
bool Rewind(OutputFile& file);

// The position of the next write: after a failed write from the start, how
// far it came.
bool Position(OutputFile& file, unsigned long long& position);

// Sets the file's length, cutting or extending it.
bool SetLength(OutputFile& file, unsigned long long length);

// Asks the file system for the room of a file `count` bytes long, where it
// can reserve room; false with `file.error` set only when there is none.
bool ReserveRoom(OutputFile& file, std::size_t count);

// Gives back room reserved past the file's end (`from` to `to`), where
// the file system can.
void ReleaseRoom(OutputFile& file, unsigned long long from, unsigned long long to);

// Holds SIGHUP, SIGINT and SIGTERM back while files are changed (`hold`),
// then lets them through; nothing on Windows.
void HoldEndingSignals(bool hold);

// These writers write each file in one request, as WriteAndClose does (see
// output_file.h).

// Creates or truncates the named file and writes it in place.
bool WriteOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error);

// One file of those WriteOutputs writes.
struct OutputPart {
  const char* path;
  const void* bytes;
  std::size_t count;
  bool inPlace;  // written in place, whatever it is (what standard output is)
};

// What a failed WriteOutputs left under a part's name.
enum class Left {
  kOld,        // the old file as it was, or no file where there was none
  kNew,        // the new picture, whole
  kPartlyNew,  // part of the new picture: the old bytes could not be put back
};

// The most parts WriteOutputs takes: a structured-append sequence.
constexpr int kMostOutputParts = 16;

// Writes every part or none. Each existing regular file with one name,
// owned by the caller, is written as a new file in the same folder that is
// renamed over it when complete (through symbolic links, over their final
// target), keeping its permission bits and group; with several parts, so
// is each new name. A file the caller may not write is refused as an
// in-place write would be. Any other regular file (more names, another
// owner, a group the caller cannot give, a folder the caller may not add
// to, a file mounted over the name) is written in place: its bytes about
// to be overwritten and its length are kept first, room is reserved where
// the file system can, and a failure writes them back. Anything else
// (devices, FIFOs) is written as WriteOutput does. Every part is prepared
// (new files written, files to write in place opened) before any is
// changed; the files written in place come first, the renames last.
//
// On failure returns false with `failed` the part whose write failed,
// `error` its code, and what each name holds in `left`: all kOld, except
// where the old bytes could not be put back, where a file that cannot be
// kept (a device, a file the caller may not read) was written, and where a
// rename failed after others (then those renamed before it hold kNew). On
// POSIX, SIGHUP, SIGINT and SIGTERM at their default disposition remove
// the new files before they end the process; once files are being changed
// (a file in place, or a set of several) they wait until every file is
// written or put back.
bool WriteOutputs(const OutputPart* parts, int count, int& failed, SystemErrorCode& error,
                  Left* left);

// Writes standard output as it is, and leaves it open.
bool WriteStandardOutput(const void* bytes, std::size_t count, SystemErrorCode& error);

}  // namespace qrimage

#endif
