// The tool's writers, through the same sequence as the library's: each
// writes the whole file in one request.
#include "output/output_replace.h"

namespace qrimage {

bool WriteOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error) {
  const OutputRequest whole[] = {{bytes, count}};
  return WriteOutputRequests(path, whole, 1, error);
}

bool ReplaceOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error) {
  ReplacementNames names;
  OutputFile file;
  if (!OpenReplacement(path, file, names)) {
    return WriteOutput(path, bytes, count, error);
  }
  const OutputRequest whole[] = {{bytes, count}};
  return WriteAndClose(file, whole, 1, error, MoveIntoPlace);
}

bool WriteStandardOutput(const void* bytes, std::size_t count, SystemErrorCode& error) {
  OutputFile file;
  if (!OpenStandardOutput(file)) {
    error = file.error;
    return false;
  }
  const OutputRequest whole[] = {{bytes, count}};
  return WriteAndClose(file, whole, 1, error);
}

}  // namespace qrimage
