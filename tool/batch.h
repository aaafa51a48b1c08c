// --batch: many texts, one file each, in one process.
#ifndef QRIMAGE_TOOL_BATCH_H
#define QRIMAGE_TOOL_BATCH_H

#include <string>

#include "options.h"

namespace qrtool {

// A file name pattern with exactly one printf-style integer conversion
// (%d, %i or %u, with the flags -+ 0, width and precision, like %04d); %%
// is a percent sign. Every number gets its own name: names are formatted
// in full, and a width or precision that makes the numbered file name
// longer than 255 bytes is refused.
// The numbered output names without -o, before the type's extension.
inline constexpr char kBatchNames[] = "qr-%04d.";
inline constexpr char kSplitNames[] = "qr-%02d.";

class NamePattern {
 public:
  // False, with `error` set, unless `pattern` has exactly one conversion
  // that can be honoured; `option` (--batch, --split) is named in it, with
  // its default as the example.
  bool Parse(const std::string& pattern, const char* option, std::string& error);
  std::string Name(long number) const;

 private:
  std::string prefix_;
  std::string conversion_;  // "%04ld"
  std::string suffix_;
};

// Runs the whole batch, to the files request.output numbers; returns the
// exit status.
int RunBatch(const Request& request);

}  // namespace qrtool

#endif
