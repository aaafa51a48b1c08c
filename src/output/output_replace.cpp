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
  switch (OpenReplacement(path, file, names)) {
    case Replacement::kRefused:
      error = file.error;
      return false;
    case Replacement::kOpened: {
      const OutputRequest whole[] = {{bytes, count}};
      if (!WriteAndClose(file, whole, 1, error)) {
        AbandonReplacement(file);
        return false;
      }
      bool writeInPlace = false;
      if (MoveIntoPlace(file, writeInPlace)) {
        error = 0;
        return true;
      }
      if (!writeInPlace) {
        error = file.error;
        return false;
      }
      break;
    }
    case Replacement::kInPlace:
      break;
  }
  return WriteOutput(path, bytes, count, error);
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
