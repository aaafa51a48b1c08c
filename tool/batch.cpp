#include "batch.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace qrtool {
namespace {

// Reads records separated by one byte from a stream, in chunks. A record
// longer than kMaxInputBytes is cut there, which is enough to report it as
// too long.
class RecordReader {
 public:
  RecordReader(std::FILE* stream, char separator) : stream_(stream), separator_(separator) {}

  // The next record, without its separator; false at the end of the input
  // or when it could not be read (then Failed()).
  bool Next(std::string& record) {
    record.clear();
    bool any = false;
    for (;;) {
      if (next_ == end_ && !Fill()) {
        return any;
      }
      any = true;
      const char* stop = static_cast<const char*>(std::memchr(next_, separator_, end_ - next_));
      const char* last = stop != nullptr ? stop : end_;
      const std::size_t room = kMaxInputBytes + 1 - std::min(record.size(), kMaxInputBytes + 1);
      record.append(next_, std::min(static_cast<std::size_t>(last - next_), room));
      next_ = stop != nullptr ? stop + 1 : end_;
      if (stop != nullptr) {
        return true;
      }
    }
  }

  bool Failed() const { return failed_; }

 private:
  bool Fill() {
    const std::size_t got = std::fread(buffer_, 1, sizeof buffer_, stream_);
    failed_ = got == 0 && std::ferror(stream_) != 0;
    next_ = buffer_;
    end_ = buffer_ + got;
    return got > 0;
  }

  std::FILE* stream_;
  char separator_;
  char buffer_[65536];
  const char* next_ = buffer_;
  const char* end_ = buffer_;
  bool failed_ = false;
};

}  // namespace

bool NamePattern::Parse(const std::string& pattern, std::string& error) {
  std::string* part = &prefix_;
  int conversions = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%') {
      *part += pattern[i];
      continue;
    }
    if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
      *part += '%';
      ++i;
      continue;
    }
    const std::size_t start = i++;
    i = pattern.find_first_not_of("-+ 0#", i);
    i = i == std::string::npos ? i : pattern.find_first_not_of("0123456789", i);
    if (i != std::string::npos && pattern[i] == '.') {
      i = pattern.find_first_not_of("0123456789", i + 1);
    }
    if (i == std::string::npos || std::strchr("diu", pattern[i]) == nullptr || i - start > 8) {
      error = "the output name '" + pattern + "' has a '%' that is not a number like %d or %04d";
      return false;
    }
    conversion_ = pattern.substr(start, i - start) + 'l' + pattern[i];
    part = &suffix_;
    ++conversions;
  }
  if (conversions != 1) {
    error = "with --batch, the output name needs exactly one number in it, like qr-%04d.bmp (" +
            std::string(conversions == 0 ? "'" + pattern + "' has none" : "it has several") + ")";
    return false;
  }
  return true;
}

std::string NamePattern::Name(long number) const {
  char digits[64];
  std::snprintf(digits, sizeof digits, conversion_.c_str(), number);
  return prefix_ + digits + suffix_;
}

int RunBatch(const Options& options, const Job& job, const std::string& pattern) {
  NamePattern names;
  std::string error;
  if (!names.Parse(pattern, error)) {
    return UsageError(error);
  }
  const bool fromStdin = std::strcmp(options.batchFile, "-") == 0;
  const std::string inputName =
      fromStdin ? std::string("standard input") : std::string("'") + options.batchFile + "'";
  std::FILE* input = fromStdin ? stdin : OpenForReading(options.batchFile);
  if (input == nullptr) {
    return Fail(kCannotRead, "cannot read " + inputName + ": " + SystemError());
  }
#ifdef _WIN32
  _setmode(_fileno(input), _O_BINARY);
#endif
  const char* const unit = options.nullSeparated ? "record " : "line ";
  RecordReader reader(input, options.nullSeparated ? '\0' : '\n');
  std::string text;
  Result result;
  long written = 0;
  long failed = 0;
  int status = kOk;
  for (long index = 0; reader.Next(text); ++index) {
    const std::string name = names.Name(options.start + index);
    int recordStatus = Produce(text, job, result, error);
    if (recordStatus == kOk && !WriteFile(name, result.file, error)) {
      recordStatus = kCannotWrite;
      error = "cannot write '" + name + "': " + error;
    }
    if (recordStatus == kOk) {
      ++written;
      continue;
    }
    ++failed;
    Fail(recordStatus, unit + std::to_string(index + 1) + ": " + error);
    if (job.type == ImageType::kPng && !PngAvailable()) {
      status = kCannotWrite;  // no record can be written: stop at the first
      break;
    }
  }
  if (reader.Failed()) {
    Fail(kCannotRead, "cannot read " + inputName + ": " + SystemError());
    status = kCannotRead;
  }
  if (!fromStdin) {
    std::fclose(input);
  }
  std::string reason;
  if (!options.quiet &&
      !WriteStream(stdout,
                   std::to_string(written) + " written, " + std::to_string(failed) + " failed\n",
                   reason)) {
    return Fail(kCannotWrite, "cannot write standard output: " + reason);
  }
  if (status != kOk) {
    return status;
  }
  return failed > 0 ? kBatchFailures : kOk;
}

}  // namespace qrtool
