// One text to its files, in single and batch runs alike: produce it and
// write its picture, or its sequence, all or none.
#ifndef QRIMAGE_TOOL_WRITE_H
#define QRIMAGE_TOOL_WRITE_H

#include <functional>
#include <string>
#include <vector>

#include "job.h"
#include "platform.h"

namespace qrtool {

// What a text became and where it went.
struct Written {
  Result result;
  std::vector<std::string> paths;  // one per picture, in order
};

// Produces `text` with `job` (see Produce) and writes picture i (from 1)
// to `name(i)`, never over `input`, the file the text was read from; a
// sequence is written whole or not at all. Returns kOk, or an exit status
// with `error` set to the message.
int WriteText(std::string& text, const Job& job, const std::function<std::string(long)>& name,
              const FileId& input, Written& written, std::string& error);

}  // namespace qrtool

#endif
