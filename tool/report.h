// How the tool ends: its exit statuses and the messages on standard error.
#ifndef QRIMAGE_TOOL_REPORT_H
#define QRIMAGE_TOOL_REPORT_H

#include <cstdio>
#include <string>
#include <string_view>

namespace qrtool {

// Exit statuses, one per kind of failure; --help, the manual page and docs/tool.md list them.
enum ExitStatus {
  kOk = 0,
  kTextTooLong = 1,
  kUsage = 2,
  kCannotWrite = 3,
  kBadLevel = 4,
  kNulByte = 5,
  kCannotRead = 6,
  kEncodingFailed = 7,
  kBatchFailures = 8,
  kNotUtf8 = 9,
};

// Reports a failure on standard error and returns `status`.
int Fail(int status, const std::string& message);

// Reports a usage error and how to get help; returns kUsage. With
// `possibleText`, an argument that may be a text taken for an option, it
// also says how to pass such a text.
int UsageError(const std::string& message, const char* possibleText = nullptr);

// A file name or a text as messages and the summary print it, within
// single quotes with `quoted`: control characters are escaped (\n, \t,
// \x1b), so that each message stays one line, and so are the
// bidirectional controls (\u202e), which would reorder what is shown.
std::string Printable(std::string_view name, bool quoted);

// Holds back a little memory (again, after a shortage was handled) and
// has the next allocation that fails give it up before std::bad_alloc is
// thrown: throwing needs memory too, and under a tight limit the C++
// runtime may have none of its own. False when even that much is missing.
bool HoldMemoryReserve();
void ReleaseMemoryReserve();

// `value` in `digits` or more hex digits, in upper case or lower case.
inline std::string Hex(unsigned long value, int digits, bool upperCase) {
  char text[24];
  std::snprintf(text, sizeof text, upperCase ? "%0*lX" : "%0*lx", digits, value);
  return text;
}

}  // namespace qrtool

#endif
