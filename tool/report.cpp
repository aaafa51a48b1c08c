#include "report.h"

#include <cstdio>

namespace qrtool {

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "qrimage: %s\n", message.c_str());
  return status;
}

int UsageError(const std::string& message, const char* possibleText) {
  Fail(kUsage, message);
  if (possibleText != nullptr) {
    std::fprintf(stderr,
                 "qrimage: to encode a text that starts with '-', put '--' before it: "
                 "qrimage [OPTIONS] -- '%s'\n",
                 possibleText);
  }
  std::fputs("Try 'qrimage --help' for more information.\n", stderr);
  return kUsage;
}

}  // namespace qrtool
