// The tool's writers, through the same sequence as the library's.
#include "output/output_replace.h"

namespace qrimage {

bool ReplaceOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error) {
  ReplacementNames names;
  OutputFile file;
  if (OpenReplacement(path, file, names)) {
    return WriteAndClose(file, bytes, count, error, MoveIntoPlace);
  }
  if (!OpenOutputFile(path, file)) {
    error = file.error;
    return false;
  }
  return WriteAndClose(file, bytes, count, error);
}

bool WriteStandardOutput(const void* bytes, std::size_t count, SystemErrorCode& error) {
  OutputFile file;
  if (!OpenStandardOutput(file)) {
    error = file.error;
    return false;
  }
  return WriteAndClose(file, bytes, count, error);
}

}  // namespace qrimage
