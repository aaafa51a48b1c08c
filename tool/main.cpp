// qrimage: writes a text as a QR Code picture from the shell and shows the
// symbol in the terminal.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include "batch.h"
#include "image_formats.h"
#include "job.h"
#include "options.h"
#include "state/symbol_tables.h"

#ifndef QRIMAGE_TOOL_VERSION
#define QRIMAGE_TOOL_VERSION "unknown"
#endif

namespace qrtool {
namespace {

// Reads up to kMaxInputBytes + 1 bytes, enough to tell a too-long input.
int ReadInput(std::FILE* stream, const std::string& name, std::string& text) {
  char chunk[4096];
  std::size_t got;
  while (text.size() <= kMaxInputBytes && (got = std::fread(chunk, 1, sizeof chunk, stream)) > 0) {
    text.append(chunk, got);
  }
  if (std::ferror(stream)) {
    return Fail(kCannotRead, "cannot read " + name + ": " + SystemError());
  }
  return kOk;
}

int LoadText(const Options& options, std::string& text) {
  if (options.text != nullptr) {
    text = options.text;
    return kOk;
  }
  if (options.inputFile != nullptr && std::strcmp(options.inputFile, "-") != 0) {
    const std::string name = std::string("'") + options.inputFile + "'";
    std::FILE* file = OpenForReading(options.inputFile);
    if (file == nullptr) {
      return Fail(kCannotRead, "cannot read " + name + ": " + SystemError());
    }
    const int status = ReadInput(file, name, text);
    std::fclose(file);
    return status;
  }
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
#endif
  return ReadInput(stdin, "standard input", text);
}

// The picture type: -t, or else the extension of the output name.
int ChooseType(const Options& options, const std::string& output, ImageType& type) {
  if (options.type != nullptr) {
    if (!ImageTypeFromName(options.type, &type)) {
      return UsageError("unknown picture type '" + std::string(options.type) + "': use one of " +
                        ImageTypeNameList());
    }
    return kOk;
  }
  switch (ImageTypeFromPath(output, &type)) {
    case PathType::kFound:
      return kOk;
    case PathType::kNoExtension:
      type = ImageType::kBmp;
      return kOk;
    case PathType::kUnknown:
      break;
  }
  return UsageError("cannot tell the picture type of '" + output +
                    "' from its extension: use one of " + ImageTypeNameList() +
                    ", as the extension or with -t");
}

std::string Summary(std::size_t bytes, const Job& job, int version, const std::string& name) {
  const int modules = qrimage::SymbolSize(version);
  char text[160];
  int length = std::snprintf(text, sizeof text, "%zu bytes, level %c, version %d, %dx%d modules, ",
                             bytes, qrimage::kLevelLetters[job.level], version, modules, modules);
  if (job.type != ImageType::kTxt) {
    const int pixels = PictureSide(modules, job.image);
    const double millimetres = PrintedMillimetres(modules, job.type, job.image);
    // A PBM stores no resolution: say which one the millimetres are at.
    const std::string at =
        job.type == ImageType::kPbm
            ? " at " + std::to_string(job.image.dpi == 0 ? kDefaultDpi : job.image.dpi) + " dpi"
            : "";
    length += std::snprintf(text + length, sizeof text - length, "%dx%d px, %.1fx%.1f mm%s, ",
                            pixels, pixels, millimetres, millimetres, at.c_str());
  }
  return std::string(text, length) + name + "\n";
}

int CannotWriteStdout(const std::string& reason) {
  return Fail(kCannotWrite, "cannot write standard output: " + reason);
}

int RunSingle(const Options& options, Job job, const std::string& output) {
  const int sources =
      (options.text != nullptr) + (options.inputFile != nullptr) + (options.readStdin ? 1 : 0);
  if (sources > 1) {
    return UsageError("give the text one way only: as TEXT, with -i FILE, or as '-'");
  }
  const bool implicitStdin = sources == 0;
  if (implicitStdin && IsTerminal(stdin)) {
    return UsageError("no text given: pass TEXT, use -i FILE, or pipe the text in");
  }
  std::string text;
  int status = LoadText(options, text);
  if (status != kOk) {
    return status;
  }
  // An empty text is encoded when asked for ("", '-' or an empty file), but
  // an empty standard input that was only read for lack of a text is more
  // likely a forgotten argument.
  if (implicitStdin && text.empty()) {
    return UsageError("no text given, and standard input is empty");
  }

  // When the picture goes to standard output, nothing else may: no
  // preview, and the summary goes to standard error.
  const bool toStdout = output == "-";
  const bool stdoutIsOutput = toStdout || IsStandardOutput(output);
  const bool terminal = IsTerminal(stdout);
  if (terminal) {
    PrepareConsole();
  }
  job.preview = !stdoutIsOutput &&
                (options.show == Show::kAlways || (options.show == Show::kAuto && terminal));
  job.previewColours = terminal;

  Result result;
  std::string error;
  status = Produce(text, job, result, error);
  if (status != kOk) {
    return Fail(status, error);
  }
  std::string reason;
  if (toStdout) {
    if (!WriteFile("-", result.file, reason)) {
      return CannotWriteStdout(reason);
    }
  } else if (!WriteFile(output, result.file, reason)) {
    return Fail(kCannotWrite, "cannot write '" + output + "': " + reason);
  }

  std::string shown;
  if (job.preview) {
    const int needed = qrimage::SymbolSize(result.version) + 2 * job.image.margin;
    const int columns = terminal ? TerminalColumns() : 0;
    if (columns > 0 && columns < needed) {
      Fail(kOk, "the terminal is " + std::to_string(columns) + " columns wide, the symbol needs " +
                    std::to_string(needed) + ": no preview (widen the window to see it)");
    } else {
      shown = result.preview;
    }
  }
  if (!options.quiet) {
    const std::string summary =
        Summary(result.textBytes, job, result.version, toStdout ? "standard output" : output);
    if (stdoutIsOutput) {
      std::fputs(summary.c_str(), stderr);
    } else {
      shown += summary;
    }
  }
  if (!shown.empty() && !WriteStream(stdout, shown, reason)) {
    return CannotWriteStdout(reason);
  }
  return kOk;
}

int Run(int argc, char** argv) {
  Options options;
  int status = ParseArguments(argc, argv, options);
  if (status != kOk) {
    return status;
  }
  std::string reason;
  if (options.help || options.version) {
    const std::string text =
        options.help ? HelpText() : "qrimage " + std::string(QRIMAGE_TOOL_VERSION) + "\n";
    return WriteStream(stdout, text, reason) ? kOk : CannotWriteStdout(reason);
  }

  const bool batch = options.batchFile != nullptr;
  if (batch) {
    if (options.text != nullptr || options.inputFile != nullptr || options.readStdin) {
      return UsageError("--batch reads the texts from its file: give no TEXT, -i or '-' with it");
    }
    if (options.show == Show::kAlways) {
      return UsageError("--show cannot be used with --batch");
    }
  } else if (options.nullSeparated || options.startGiven) {
    return UsageError(std::string(options.nullSeparated ? "--null" : "--start") +
                      " only goes with --batch");
  }
  // Without -o the name is qr.bmp or qr-%04d.bmp, with the -t type's
  // extension.
  ImageType defaultType = ImageType::kBmp;
  if (options.type != nullptr) {
    ImageTypeFromName(options.type, &defaultType);
  }
  const std::string output =
      options.output != nullptr
          ? options.output
          : (batch ? "qr-%04d." : "qr.") + std::string(ImageTypeName(defaultType));

  Job job;
  job.level = options.level;
  job.latin1 = options.latin1;
  job.minVersion = options.minVersion;
  job.eci = options.eci;
  job.image.scale = options.scale;
  job.image.dpi = options.dpi;
  job.image.margin = options.margin;
  job.image.foreground = options.foreground;
  job.image.background = options.background;
  status = ChooseType(options, output, job.type);
  if (status != kOk) {
    return status;
  }
  const std::string typeName(ImageTypeName(job.type));
  if (job.image.background == kTransparent && !TakesTransparency(job.type)) {
    return UsageError("a transparent background needs a png or svg picture, not " + typeName);
  }
  if ((job.image.foreground != kBlack || job.image.background != kWhite) &&
      !TakesColours(job.type)) {
    return UsageError("a " + typeName + " picture is black and white only: no --fg or --bg");
  }
  if (job.image.margin == 0) {
    Fail(kOk,
         "note: with --margin 0 the symbol has no quiet zone; most readers need one, so "
         "leave light space around it where it is put");
  }
  return batch ? RunBatch(options, job, output) : RunSingle(options, job, output);
}

}  // namespace
}  // namespace qrtool

#ifdef _WIN32
// The command line is read as UTF-16, so that every character arrives, and
// passed on as UTF-8: a text argument is encoded as its UTF-8 bytes, as on
// other systems.
int wmain(int argc, wchar_t** wideArgv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(static_cast<std::size_t>(length > 0 ? length : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, argument.data(), length, nullptr, nullptr);
    argument.resize(argument.size() - 1);
    arguments.push_back(std::move(argument));
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  return qrtool::Run(argc, argv.data());
}
#else
int main(int argc, char** argv) {
  try {
    return qrtool::Run(argc, argv);
  } catch (const std::bad_alloc&) {
    return qrtool::Fail(qrtool::kCannotWrite, "out of memory");
  }
}
#endif
