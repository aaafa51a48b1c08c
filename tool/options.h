// The tool's command line: what the user asked for, and the help text.
#ifndef QRIMAGE_TOOL_OPTIONS_H
#define QRIMAGE_TOOL_OPTIONS_H

#include <string>

#include "job.h"

namespace qrtool {

enum class Show { kAuto, kAlways, kNever };

// The command line, read into what the run uses: `job` is what every text
// is encoded and drawn with.
struct Request {
  Job job;
  bool typeGiven = false;           // -t; else the output's extension decides job.type
  bool scaleGiven = false;          // -s; else --size or kDefaultScale decides
  bool minVersionGiven = false;     // -v
  bool qrVersionGiven = false;      // -v 1 to 40, not M1 to M4
  bool marginGiven = false;         // -m; else the symbol kind's quiet zone
  std::string output;               // -o, else the default name or pattern for the type
  bool outputGiven = false;         // -o
  const char* text = nullptr;       // TEXT argument
  const char* inputFile = nullptr;  // -i FILE ("-" is standard input)
  bool readStdin = false;           // the argument "-"
  const char* batchFile = nullptr;  // --batch FILE ("-" is standard input)
  bool nullSeparated = false;
  long start = 1;
  bool startGiven = false;
  Show show = Show::kAuto;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Reads and checks the command line, and settles the output name, the
// picture type and the scale (unless --help or --version is asked for).
// Returns kOk, or the exit status of a failure already reported on
// standard error.
int ParseArguments(int argc, char** argv, Request& request);

// The --help text; it names the longest text of each level.
std::string HelpText();

}  // namespace qrtool

#endif
