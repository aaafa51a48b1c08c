// The tool's writers, through the same sequence as the library's.
#include "output/output_replace.h"

namespace qrimage {

bool ReplaceOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error) {
  ReplacementNames names;
  OutputFile file;
  switch (OpenReplacement(path, file, names)) {
    case Replacement::kRefused:
      error = file.error;
      return false;
    case Replacement::kOpened: {
      if (!WriteAndClose(file, bytes, count, error)) {
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
  return WriteAndClose(file, bytes, count, error);
}

}  // namespace qrimage
