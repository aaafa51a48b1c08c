// --batch: many texts, one file each, in one process.
#ifndef QRIMAGE_TOOL_BATCH_H
#define QRIMAGE_TOOL_BATCH_H

#include <string>

#include "job.h"
#include "options.h"

namespace qrtool {

// A file name pattern with exactly one printf-style integer conversion
// (%d, %i or %u, with flags, width and precision, like %04d); %% is a
// percent sign.
class NamePattern {
 public:
  // False, with `error` set, unless `pattern` has exactly one conversion.
  bool Parse(const std::string& pattern, std::string& error);
  std::string Name(long number) const;

 private:
  std::string prefix_;
  std::string conversion_;  // "%04ld"
  std::string suffix_;
};

// Runs the whole batch; returns the exit status.
int RunBatch(const Options& options, const Job& job, const std::string& pattern);

}  // namespace qrtool

#endif
