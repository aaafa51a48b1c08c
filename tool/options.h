// The tool's command line: what the user asked for, and the help text.
#ifndef QRIMAGE_TOOL_OPTIONS_H
#define QRIMAGE_TOOL_OPTIONS_H

#include <string>

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
  kNotLatin1 = 9,
};

enum class Show { kAuto, kAlways, kNever };

struct Options {
  int level = 1;                    // index into the level letters: M
  const char* output = nullptr;     // -o; nullptr for the default name or pattern
  const char* text = nullptr;       // TEXT argument
  const char* inputFile = nullptr;  // -i FILE ("-" is standard input)
  bool readStdin = false;           // the argument "-"
  const char* type = nullptr;       // -t; nullptr: from the output's extension
  int scale = 1;
  int dpi = 0;  // 0: the library's resolution, 72 dpi
  bool latin1 = false;
  const char* batchFile = nullptr;  // --batch FILE ("-" is standard input)
  bool nullSeparated = false;
  long start = 1;
  bool startGiven = false;
  Show show = Show::kAuto;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Returns kOk, or the exit status of a failure already reported on
// standard error.
int ParseArguments(int argc, char** argv, Options& options);

// The --help text; it names the longest text of each level.
std::string HelpText();

// Reports a failure on standard error and returns `status`.
int Fail(int status, const std::string& message);
int UsageError(const std::string& message);

}  // namespace qrtool

#endif
