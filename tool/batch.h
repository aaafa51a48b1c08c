// --batch: many texts, one file each, in one process.
#ifndef QRIMAGE_TOOL_BATCH_H
#define QRIMAGE_TOOL_BATCH_H

#include <string>

#include "options.h"

namespace qrtool {

// Runs the whole batch; returns the exit status.
int RunBatch(const Request& request, const std::string& pattern);

}  // namespace qrtool

#endif
