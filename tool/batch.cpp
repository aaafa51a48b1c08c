#include "batch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform.h"
#include "report.h"
#include "write.h"

namespace qrtool {
namespace {

// Reads records separated by one byte straight from a descriptor: a record
// is handed out as soon as its separator has arrived, whatever follows it
// (a pipe's writer may wait before the next line). A line's CR LF ending is
// all separator.
class RecordReader {
 public:
  enum Status {
    kRecord,   // a whole record, or the last one without a separator
    kEnd,      // no more input
    kFailed,   // the input could not be read; `record` holds what came
    kTooLong,  // the record grew past kMaxInputBytes; the rest is not read
  };

  RecordReader(int descriptor, char separator) : descriptor_(descriptor), separator_(separator) {}

  Status Next(std::string& record) {
    record.clear();
    for (;;) {
      if (next_ == end_ && (ended_ || !Fill())) {
        if (error_ != 0) {
          return kFailed;
        }
        return record.empty() ? kEnd : record.size() > kMaxInputBytes ? kTooLong : kRecord;
      }
      const char* stop = static_cast<const char*>(std::memchr(next_, separator_, end_ - next_));
      record.append(next_, stop != nullptr ? stop : end_);
      next_ = stop != nullptr ? stop + 1 : end_;
      if (stop != nullptr) {
        if (separator_ == '\n' && !record.empty() && record.back() == '\r') {
          record.pop_back();
        }
        return record.size() > kMaxInputBytes ? kTooLong : kRecord;
      }
      // One more byte may be the CR of a CR LF.
      if (record.size() > kMaxInputBytes + 1) {
        return kTooLong;
      }
    }
  }

  // The system's error code of the failed read.
  int Error() const { return error_; }

 private:
  bool Fill() {
    const long got = ReadDescriptor(descriptor_, buffer_, sizeof buffer_);
    if (got < 0) {
      error_ = errno;
      return false;
    }
    next_ = buffer_;
    end_ = buffer_ + got;
    ended_ = got == 0;  // a terminal would wait for another end of input
    return !ended_;
  }

  int descriptor_;
  char separator_;
  char buffer_[65536];
  const char* next_ = buffer_;
  const char* end_ = buffer_;
  bool ended_ = false;
  int error_ = 0;
};

bool IsPathSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

// Reads a run of digits at `i` as a number, held at `cap` when it is
// larger; `i` moves past the digits.
std::size_t ReadCount(const std::string& text, std::size_t& i, std::size_t cap) {
  std::size_t count = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    count = std::min(count * 10 + static_cast<std::size_t>(text[i] - '0'), cap);
  }
  return count;
}

// The longest file name (one component of a path) the file systems we
// write to take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

// The most empty texts in a row a batch takes: a list has gaps, not runs
// like these.
constexpr long kMaxEmptyRun = 100;

}  // namespace

bool NamePattern::Parse(const std::string& pattern, const char* option, std::string& error) {
  std::string* part = &prefix_;
  int conversions = 0;
  std::size_t digits = 0;  // the fewest characters the number takes
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
    // '#' is left out: it is undefined for these conversions. '+' and ' '
    // put a sign before every number of %d and %i.
    std::size_t sign = 0;
    for (; i < pattern.size() && std::strchr("-+ 0", pattern[i]) != nullptr; ++i) {
      sign = sign == 1 || pattern[i] == '+' || pattern[i] == ' ' ? 1 : 0;
    }
    const std::size_t cap = kMaxNameBytes + 1;
    const std::size_t width = ReadCount(pattern, i, cap);
    std::size_t precision = 1;
    if (i < pattern.size() && pattern[i] == '.') {
      precision = std::max<std::size_t>(ReadCount(pattern, ++i, cap), 1);
    }
    if (i == pattern.size() || std::strchr("diu", pattern[i]) == nullptr) {
      error = "the output name " + Printable(pattern, true) +
              " has a '%' that is not a number like %d or %04d (flags: - + 0 and space)";
      return false;
    }
    digits = std::max(width, precision + (pattern[i] == 'u' ? 0 : sign));
    conversion_ = pattern.substr(start, i - start) + 'l' + pattern[i];
    part = &suffix_;
    ++conversions;
  }
  if (conversions != 1) {
    const bool split = std::strcmp(option, "--split") == 0;
    error = "with " + std::string(option) +
            ", the output name needs exactly one number in it, like " +
            (split ? kSplitNames : kBatchNames) + "bmp (" +
            (conversions == 0 ? Printable(pattern, true) + " has none" : "it has several") + ")";
    return false;
  }
  // The file name around the number, without the folders before it or
  // after it.
  const auto last = std::find_if(prefix_.rbegin(), prefix_.rend(), IsPathSeparator);
  const auto first = std::find_if(suffix_.begin(), suffix_.end(), IsPathSeparator);
  const std::size_t shortest = (last - prefix_.rbegin()) + digits + (first - suffix_.begin());
  if (shortest > kMaxNameBytes) {
    error = "the output name " + Printable(pattern, true) + " makes file names of " +
            (digits > kMaxNameBytes ? "more than " + std::to_string(kMaxNameBytes)
                                    : "at least " + std::to_string(shortest)) +
            " bytes; a file name holds at most " + std::to_string(kMaxNameBytes);
    return false;
  }
  return true;
}

std::string NamePattern::Name(long number) const {
  const int length = std::snprintf(nullptr, 0, conversion_.c_str(), number);
  std::string digits(static_cast<std::size_t>(std::max(length, 0)), '\0');
  std::snprintf(digits.data(), digits.size() + 1, conversion_.c_str(), number);
  return prefix_ + digits + suffix_;
}

namespace {

// The progress of a long batch on a terminal: the texts done and the files
// written per second on standard error, from the first second on, redrawn
// at most four times a second over itself and cleared before any message
// and at the end. It stays on one row: a narrow terminal gets a shorter
// line, cut to its width.
class Progress {
 public:
  explicit Progress(bool shown) : shown_(shown), start_(Clock::now()), next_(start_ + kFirst) {}
  ~Progress() { Clear(); }

  void Update(long done, long written) {
    if (!shown_) {
      return;
    }
    const Clock::time_point now = Clock::now();
    if (now < next_) {
      return;
    }
    next_ = now + kEvery;
    const double rate = written / std::chrono::duration<double>(now - start_).count();
    const int room = Room();
    char line[96];
    int length = std::snprintf(line, sizeof line, "%ld texts done, %.0f files/s", done, rate);
    if (length > room) {
      length = std::snprintf(line, sizeof line, "%ld done, %.0f/s", done, rate);
    }
    length = std::min(length, room);
    // Spaces cover what a longer line before left.
    std::fprintf(stderr, "\r%.*s%*s", length, line, std::max(std::min(drawn_, room) - length, 0),
                 "");
    std::fflush(stderr);
    drawn_ = std::max(drawn_, length);
  }

  void Clear() {
    if (drawn_ > 0) {
      std::fprintf(stderr, "\r%*s\r", std::min(drawn_, Room()), "");
      std::fflush(stderr);
      drawn_ = 0;
    }
  }

 private:
  // The columns a line may take: one fewer than the terminal has, as a
  // character in the last column leaves some terminals' cursor on the
  // next row.
  static int Room() {
    const int columns = TerminalColumns(stderr);
    return columns > 0 ? columns - 1 : 79;
  }

  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirst{1000};
  static constexpr std::chrono::milliseconds kEvery{250};
  bool shown_;
  Clock::time_point start_;
  Clock::time_point next_;
  int drawn_ = 0;
};

// One --batch run: the records of its input, each written to its own
// file, and the count of both at the end.
class Batch {
 public:
  Batch(const Request& request, const NamePattern& names, const std::string& inputName,
        int descriptor)
      : request_(request),
        job_(request.job),
        names_(names),
        inputName_(inputName),
        inputId_(FileIdOf(descriptor)),
        unit_(request.nullSeparated ? "record " : "line "),
        reader_(descriptor, request.nullSeparated ? '\0' : '\n'),
        progress_(IsTerminal(stderr)) {
    job_.batch = true;
  }

  // Writes every record, up to the end of the input or a failure that
  // ends the run.
  void Run() {
    // Empty records are held back until a text or the end follows them, so
    // that input that is all separators (/dev/zero with --null) writes
    // nothing: more than kMaxEmptyRun of them in a row end the run.
    long empty = 0;
    std::string text;
    for (long index = 0;; ++index) {
      const RecordReader::Status got = reader_.Next(text);
      const std::string where = unit_ + std::to_string(index + 1) + ": ";
      if (got == RecordReader::kRecord && text.empty()) {
        if (++empty <= kMaxEmptyRun) {
          continue;
        }
        failed_ += empty;
        return Stop(where + "more than " + std::to_string(kMaxEmptyRun) +
                    " empty texts in a row (from " + unit_ + std::to_string(index + 2 - empty) +
                    " on), which is no list: none of them is written, and the rest of " +
                    inputName_ + " is not read");
      }
      bool go = true;
      for (std::string none; empty > 0 && go; --empty) {
        go = Write(index - empty, none);
      }
      if (!go || got == RecordReader::kEnd) {
        return;
      }
      if (got != RecordReader::kRecord) {
        return Unread(got, where, text);
      }
      if (!Write(index, text)) {
        return;
      }
    }
  }

  // Writes the summary; returns the exit status of the run.
  int Finish() {
    progress_.Clear();
    if (!request_.quiet) {
      const std::string summary =
          std::to_string(written_) + " written, " + std::to_string(failed_) + " failed\n";
      std::string reason;
      if (stdoutWritten_) {
        std::fputs(summary.c_str(), stderr);
      } else if (!WriteStream(stdout, summary, reason)) {
        return Fail(kCannotWrite, "cannot write standard output: " + reason);
      }
    }
    return status_ != kOk ? status_ : failed_ > 0 ? kBatchFailures : kOk;
  }

 private:
  void Report(int failure, const std::string& message) {
    progress_.Clear();
    Fail(failure, message);
  }

  // Ends the run: the rest of the input cannot be read.
  void Stop(const std::string& message) {
    Report(kCannotRead, message);
    status_ = kCannotRead;
  }

  // A record that failed to come whole, at `where`: the read failed, or it
  // is too long.
  void Unread(RecordReader::Status got, const std::string& where, const std::string& text) {
    if (got == RecordReader::kTooLong) {
      ++failed_;
      return Stop(where + TooLongMessage(text, job_, job_.eci) + "; the rest of " + inputName_ +
                  " is not read");
    }
    const std::string reason = "cannot read " + inputName_ + ": " + std::strerror(reader_.Error());
    if (text.empty()) {
      return Stop(reason);
    }
    ++failed_;
    Stop(where + reason + " (after " + std::to_string(text.size()) +
         " bytes of it; it is not written)");
  }

  // Writes record `index`; false when no later record can be written.
  bool Write(long index, std::string& record) {
    const std::string name = names_.Name(request_.start + index);
    // When a file written is standard output, the summary goes to standard
    // error instead of into the picture.
    stdoutWritten_ = stdoutWritten_ || IsStandardOutput(name);
    const int status = WriteText(
        record, job_, [&](long) { return name; }, inputId_, produced_, error_);
    if (status == kOk) {
      progress_.Update(index + 1, ++written_);
      return true;
    }
    ++failed_;
    Report(status, unit_ + std::to_string(index + 1) + ": " + error_);
    if (job_.type == ImageType::kPng && !PngAvailable()) {
      status_ = kCannotWrite;  // no record can be written: stop at the first
      return false;
    }
    return true;
  }

  const Request& request_;
  Job job_;
  const NamePattern& names_;
  const std::string& inputName_;
  const FileId inputId_;
  const char* const unit_;
  RecordReader reader_;
  Progress progress_;
  Written produced_;
  std::string error_;
  long written_ = 0;
  long failed_ = 0;
  int status_ = kOk;
  bool stdoutWritten_ = false;
};

}  // namespace

int RunBatch(const Request& request) {
  NamePattern names;
  std::string error;
  if (!names.Parse(request.output, "--batch", error)) {
    return UsageError(error);
  }
  const bool fromStdin = std::strcmp(request.batchFile, "-") == 0;
  const std::string inputName =
      fromStdin ? std::string("standard input") : Printable(request.batchFile, true);
  std::FILE* input = fromStdin ? stdin : OpenForReading(request.batchFile);
  if (input == nullptr) {
    return Fail(kCannotRead, "cannot read " + inputName + ": " + SystemError());
  }
  Batch batch(request, names, inputName, BinaryDescriptor(input));
  batch.Run();
  if (!fromStdin) {
    std::fclose(input);
  }
  return batch.Finish();
}

}  // namespace qrtool
