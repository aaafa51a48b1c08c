// qrimage: writes a text as a QR Code picture from the shell and shows the
// symbol in the terminal.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "batch.h"
#include "image_formats.h"
#include "job.h"
#include "options.h"
#include "platform.h"
#include "report.h"
#include "state/symbol_tables.h"
#include "write.h"

#ifndef QRIMAGE_TOOL_VERSION
#define QRIMAGE_TOOL_VERSION "unknown"
#endif

namespace qrtool {
namespace {

// Reads until more than kMaxInputBytes bytes have come (a chunk past it
// at most), enough to tell a too-long input, from `stream` (nullptr: it
// could not be opened).
int ReadInput(std::FILE* stream, const std::string& name, std::string& text) {
  char chunk[4096];
  std::size_t got;
  while (stream != nullptr && text.size() <= kMaxInputBytes &&
         (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
    text.append(chunk, got);
  }
  if (stream == nullptr || std::ferror(stream)) {
    return Fail(kCannotRead, "cannot read " + name + ": " + SystemError());
  }
  return kOk;
}

// Reads the text; `input` is then the file it was read from, if any.
int LoadText(const Request& request, std::string& text, FileId& input) {
  if (request.text != nullptr) {
    text = request.text;
    return kOk;
  }
  if (request.inputFile == nullptr || std::strcmp(request.inputFile, "-") == 0) {
    input = FileIdOf(BinaryDescriptor(stdin));
    return ReadInput(stdin, "standard input", text);
  }
  std::FILE* file = OpenForReading(request.inputFile);
  if (file != nullptr) {
    input = FileIdOf(BinaryDescriptor(file));
  }
  const int status = ReadInput(file, Printable(request.inputFile, true), text);
  if (file != nullptr) {
    std::fclose(file);
  }
  return status;
}

// "mask 3", or with several symbols "masks 3, 0, 5": the masks written.
std::string Masks(const std::vector<Picture>& pictures) {
  std::string masks = pictures.size() > 1 ? "masks " : "mask ";
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    masks += (i > 0 ? ", " : "") + std::to_string(pictures[i].mask);
  }
  return masks;
}

// "18 bytes, byte, level Q (asked M), version 2, mask 3, 25x25 modules,
// 132x132 px, 46.6x46.6 mm, hello.bmp": what was written and how.
std::string Summary(const Result& result, const Job& job, const std::string& names) {
  const int modules = result.pictures[0].size;
  const std::size_t count = result.pictures.size();
  static constexpr const char* kCharsets[] = {"", ", ISO-8859-1", ", UTF-8 (ECI 26)", ""};
  std::string text =
      std::to_string(result.textBytes) + " bytes" +
      (count > 1 ? " in " + std::to_string(count) + " symbols" : "") + ", " + result.modes +
      kCharsets[static_cast<int>(result.charset)] +
      (result.level < 0 ? std::string(", error detection only")
                        : std::string(", level ") + qrimage::kLevelLetters[result.level]);
  if (result.level >= 0 && result.level != job.level) {
    text += std::string(" (asked ") + qrimage::kLevelLetters[job.level] + ")";
  }
  text += ", " + SymbolName(modules) + ", " + Masks(result.pictures);
  char figures[160];
  int length = std::snprintf(figures, sizeof figures, ", %dx%d modules, ", modules, modules);
  const Sizing sizing = Traits(job.type).sizing;
  if (sizing != Sizing::kNone) {
    const ImageOptions& image = result.image;
    const double millimetres = PrintedMillimetres(modules, job.type, image);
    const int dpi = image.dpi == 0 ? kDefaultDpi : image.dpi;
    // An SVG or PDF of a given --size has as many pixels as it covers.
    const int pixels = image.sidePoints > 0
                           ? static_cast<int>(std::lround(image.sidePoints * dpi / 72))
                           : PictureSide(modules, image);
    // A PBM stores no resolution: say which one the millimetres are at.
    const std::string at = sizing == Sizing::kUnstated ? " at " + std::to_string(dpi) + " dpi" : "";
    length += std::snprintf(figures + length, sizeof figures - length, "%dx%d px, %.1fx%.1f mm%s, ",
                            pixels, pixels, millimetres, millimetres, at.c_str());
  }
  return text + std::string(figures, length) + names + "\n";
}

int CannotWriteStdout(const std::string& reason) {
  return Fail(kCannotWrite, "cannot write standard output: " + reason);
}

// Reads the text of a single run, which must come from somewhere; `input`
// is then the file it was read from, if any.
int ReadText(const Request& request, std::string& text, FileId& input) {
  const bool implicitStdin =
      request.text == nullptr && request.inputFile == nullptr && !request.readStdin;
  if (implicitStdin && IsTerminal(stdin)) {
    return UsageError("no text given: pass TEXT, use -i FILE, or pipe the text in");
  }
  const int status = LoadText(request, text, input);
  if (status != kOk) {
    return status;
  }
  // An empty text is encoded when asked for ("", '-' or an empty file), but
  // an empty standard input that was only read for lack of a text is more
  // likely a forgotten argument.
  if (implicitStdin && text.empty()) {
    return UsageError("no text given, and standard input is empty");
  }
  return kOk;
}

// The symbols in half blocks, or nothing when the terminal is too narrow
// for them.
std::string Preview(const Result& result, const Job& job, bool terminal) {
  const int needed = result.pictures[0].size + 2 * job.image.margin;
  const int columns = terminal ? TerminalColumns() : 0;
  if (columns > 0 && columns < needed) {
    Fail(kOk, "the terminal is " + std::to_string(columns) + " columns wide, the symbol needs " +
                  std::to_string(needed) + ": no preview (widen the window to see it)");
    return "";
  }
  std::string shown;
  for (const Picture& picture : result.pictures) {
    shown += picture.preview;
  }
  return shown;
}

// The files written as the summary names them: "a.bmp", or "a-01.bmp to
// a-03.bmp".
std::string Names(const std::vector<std::string>& paths) {
  const auto named = [](const std::string& path) {
    return path == "-" ? std::string("standard output") : Printable(path, false);
  };
  return paths.size() == 1 ? named(paths[0]) : named(paths.front()) + " to " + named(paths.back());
}

int RunSingle(const Request& request) {
  std::string text;
  FileId input;
  int status = ReadText(request, text, input);
  if (status != kOk) {
    return status;
  }
  // When the picture goes to standard output, nothing else may: no
  // preview, and the summary goes to standard error.
  const std::string& output = request.output;
  const bool stdoutIsOutput = output == "-" || IsStandardOutput(output);
  const bool terminal = IsTerminal(stdout);
  if (terminal) {
    PrepareConsole();
  }
  Job job = request.job;
  job.preview = !stdoutIsOutput &&
                (request.show == Show::kAlways || (request.show == Show::kAuto && terminal));
  job.previewColours = terminal;

  std::string error;
  // --split: the pattern numbers the symbols from 1, one symbol too.
  NamePattern pattern;
  if (job.split && !pattern.Parse(output, "--split", error)) {
    return UsageError(error);
  }
  Written written;
  const auto name = [&](long number) { return job.split ? pattern.Name(number) : output; };
  status = WriteText(text, job, name, input, written, error);
  if (status != kOk) {
    return status == kUsage ? UsageError(error) : Fail(status, error);
  }
  std::string shown = job.preview ? Preview(written.result, job, terminal) : "";
  if (!request.quiet) {
    const std::string summary = Summary(written.result, job, Names(written.paths));
    if (stdoutIsOutput) {
      std::fputs(summary.c_str(), stderr);
    } else {
      shown += summary;
    }
  }
  std::string reason;
  if (!shown.empty() && !WriteStream(stdout, shown, reason)) {
    return CannotWriteStdout(reason);
  }
  return kOk;
}

int Run(int argc, char** argv) {
  Request request;
  const int status = ParseArguments(argc, argv, request);
  if (status != kOk) {
    return status;
  }
  if (request.help || request.version) {
    const std::string text =
        request.help ? HelpText() : "qrimage " + std::string(QRIMAGE_TOOL_VERSION) + "\n";
    std::string reason;
    return WriteStream(stdout, text, reason) ? kOk : CannotWriteStdout(reason);
  }
  if (request.job.image.margin == 0) {
    Fail(kOk,
         "note: with --margin 0 the symbol has no quiet zone; most readers need one, so "
         "leave light space around it where it is put");
  }
  return request.batchFile != nullptr ? RunBatch(request) : RunSingle(request);
}

// Every way out of the tool: memory that runs out anywhere ends it with a
// message and status 3.
template <typename Body>
int Reporting(Body body) {
  int status = kCannotWrite;
  try {
    status = HoldMemoryReserve() ? body() : Fail(kCannotWrite, "out of memory");
  } catch (const std::bad_alloc&) {
    status = Fail(kCannotWrite, "out of memory");
  }
  ReleaseMemoryReserve();
  return status;
}

}  // namespace
}  // namespace qrtool

#ifdef _WIN32
// The command line is read as UTF-16, so that every character arrives, and
// passed on as UTF-8: a text argument is encoded as its UTF-8 bytes, as on
// other systems.
int wmain(int argc, wchar_t** wideArgv) {
  return qrtool::Reporting([&] {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
      arguments.push_back(qrtool::Utf8FromWide(wideArgv[i]));
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    return qrtool::Run(argc, argv.data());
  });
}
#else
int main(int argc, char** argv) {
  return qrtool::Reporting([&] { return qrtool::Run(argc, argv); });
}
#endif
