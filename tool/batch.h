// --batch: many texts, one file each, in one process.
#ifndef QRIMAGE_TOOL_BATCH_H
#define QRIMAGE_TOOL_BATCH_H

#include <cstddef>
#include <string>

#include "job.h"
#include "options.h"

namespace qrtool {

// The longest file name (one component of a path) the file systems we
// write to take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

// A file name pattern with exactly one printf-style integer conversion
// (%d, %i or %u, with the flags -+ 0, width and precision, like %04d); %%
// is a percent sign. Every number gets its own name: names are formatted
// in full, and a width or precision that makes the numbered file name
// longer than kMaxNameBytes is refused.
class NamePattern {
 public:
  // False, with `error` set, unless `pattern` has exactly one conversion
  // that can be honoured.
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
