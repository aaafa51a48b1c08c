// The one sequence that writes a whole file: open, write, close, and after
// a failure discard what was written.
#include "output/output_file.h"

namespace qrimage {

bool WriteAndClose(OutputFile& file, const OutputRequest* requests, int count,
                   SystemErrorCode& error) {
  bool written = true;
  for (int i = 0; written && i < count; ++i) {
    written = WriteOutputFile(file, requests[i].bytes, requests[i].count);
  }
  if (written && CloseOutputFile(file)) {
    error = 0;
    return true;
  }
  // The first failure is the one to report: removing the file afterwards
  // may fail for its own reason.
  error = file.error;
  if (!file.isStandardOutput) {
    DiscardOutputFile(file, !written);
  }
  return false;
}

bool WriteOutputRequests(const char* path, const OutputRequest* requests, int count,
                         SystemErrorCode& error) {
  OutputFile file;
  if (!OpenOutputFile(path, file)) {
    error = file.error;
    return false;
  }
  return WriteAndClose(file, requests, count, error);
}

}  // namespace qrimage
