// The tool's writers, through the same sequence as the library's: each
// writes the whole file in one request.
#include <memory>
#include <string>

#include "tool_core/output/output_replace.h"

namespace qrimage {
namespace {

// One part on its way: prepared, then committed, or undone.
struct Prepared {
  enum Kind {
    kNone,         // nothing open, nothing to undo
    kReplacement,  // its new file is written and waits to be renamed
    kMoved,        // renamed over its name
    kKept,         // to be written in place, its old bytes kept
    kUnkept,       // to be written in place, its old bytes unreadable
    kPlain,        // no regular file: written as WriteOutput does
  };
  Kind kind = kNone;
  bool open = false;       // in place: its handle is open
  bool touched = false;    // in place: its writing has begun
  bool committed = false;  // in place: written whole
  unsigned long long oldLength = 0;
  std::string old;  // the bytes the new picture is written over
  OutputFile file;
  ReplacementNames names;
};

class SetWriter {
 public:
  SetWriter(const OutputPart* parts, int count, Left* left)
      : parts_(parts), count_(count), left_(left), prepared_(new Prepared[count]) {}

  // Prepares every part, then writes in place, then renames: see
  // WriteOutputs.
  bool Run(int& failed) {
    for (failed = 0; failed < count_; ++failed) {
      if (!Prepare(failed)) {
        return Undo();
      }
    }
    // A signal while files are changed would leave some new and some old
    // (a lone rename cannot); one that a FIFO or device may keep waiting is
    // not held back.
    bool hold = count_ > 1 || (count_ == 1 && prepared_[0].kind != Prepared::kReplacement);
    for (int i = 0; i < count_; ++i) {
      hold = hold && prepared_[i].kind != Prepared::kPlain;
    }
    HoldEndingSignals(hold);
    const bool written = CommitAll(failed) || Undo();
    HoldEndingSignals(false);
    return written;
  }

  // Writes in place, first what can be put back, then what cannot, and
  // renames last.
  bool CommitAll(int& failed) {
    for (const Prepared::Kind kind : {Prepared::kKept, Prepared::kUnkept, Prepared::kPlain}) {
      for (failed = 0; failed < count_; ++failed) {
        if (prepared_[failed].kind == kind && !WriteInPlace(failed)) {
          return false;
        }
      }
    }
    for (failed = 0; failed < count_; ++failed) {
      if (prepared_[failed].kind == Prepared::kReplacement && !Move(failed)) {
        return false;
      }
    }
    return true;
  }

  // Removes the new files, puts back the files written in place and says
  // what each name holds; false.
  bool Undo() {
    for (int i = 0; i < count_; ++i) {
      Prepared& part = prepared_[i];
      switch (part.kind) {
        case Prepared::kReplacement:
          AbandonReplacement(part.file, true);
          break;
        case Prepared::kMoved:
          left_[i] = Left::kNew;
          break;
        case Prepared::kKept:
          if (!PutBack(part, parts_[i].count)) {
            left_[i] = Left::kPartlyNew;
          }
          break;
        case Prepared::kUnkept:
          if (part.touched) {
            left_[i] = part.committed ? Left::kNew : Left::kPartlyNew;
          }
          break;
        case Prepared::kPlain:
          if (part.committed) {
            left_[i] = Left::kNew;
          }
          break;
        case Prepared::kNone:
          break;
      }
      if (part.open) {
        CloseOutputFile(part.file);
        part.open = false;
      }
      part.kind = Prepared::kNone;
    }
    return false;
  }

  SystemErrorCode error() const { return error_; }

 private:
  bool Fail(const OutputFile& file) {
    error_ = file.error;
    return false;
  }

  bool Prepare(int i) {
    Prepared& part = prepared_[i];
    const OutputPart& out = parts_[i];
    if (!out.inPlace) {
      switch (OpenReplacement(out.path, part.file, part.names, count_ > 1)) {
        case Replacement::kRefused:
          return Fail(part.file);
        case Replacement::kOpened: {
          const OutputRequest whole[] = {{out.bytes, out.count}};
          if (!WriteAndClose(part.file, whole, 1, error_)) {
            AbandonReplacement(part.file, false);
            return false;
          }
          part.kind = Prepared::kReplacement;
          return true;
        }
        case Replacement::kInPlace:
          break;
      }
    }
    return PrepareInPlace(i);
  }

  // Opens a file to write in place, keeps the bytes the picture will be
  // written over and reserves the picture's room.
  bool PrepareInPlace(int i) {
    Prepared& part = prepared_[i];
    const OutputPart& out = parts_[i];
    switch (OpenInPlace(out.path, part.file, part.oldLength)) {
      case InPlace::kRefused:
        return Fail(part.file);
      case InPlace::kOther:
        part.kind = Prepared::kPlain;
        return true;
      case InPlace::kWriteOnly:
        part.kind = Prepared::kUnkept;
        break;
      case InPlace::kKept:
        part.kind = Prepared::kKept;
        break;
    }
    part.open = true;
    if (part.kind == Prepared::kKept) {
      part.old.resize(out.count < part.oldLength ? out.count
                                                 : static_cast<std::size_t>(part.oldLength));
      if (!ReadFromStart(part.file, part.old.data(), part.old.size())) {
        return Fail(part.file);
      }
    }
    return ReserveRoom(part.file, out.count) || Fail(part.file);
  }

  bool WriteInPlace(int i) {
    Prepared& part = prepared_[i];
    const OutputPart& out = parts_[i];
    if (part.kind == Prepared::kPlain) {
      part.committed = WriteOutput(out.path, out.bytes, out.count, error_);
      return part.committed;
    }
    part.touched = true;
    // A failed write is put back while the file is still open (see Undo).
    if (!Rewind(part.file) || !WriteOutputFile(part.file, out.bytes, out.count) ||
        (part.oldLength > out.count && !SetLength(part.file, out.count))) {
      return Fail(part.file);
    }
    part.open = false;
    if (!CloseOutputFile(part.file)) {
      return Fail(part.file);
    }
    part.committed = true;
    return true;
  }

  bool Move(int i) {
    Prepared& part = prepared_[i];
    bool writeInPlace = false;
    part.kind = Prepared::kMoved;
    if (MoveIntoPlace(part.file, writeInPlace)) {
      return true;
    }
    part.kind = Prepared::kNone;
    error_ = part.file.error;
    // Only the rename was refused: the file itself is written in place.
    return writeInPlace && PrepareInPlace(i) && WriteInPlace(i);
  }

  // Writes a file's kept bytes and length back; false if that failed.
  static bool PutBack(Prepared& part, std::size_t count) {
    if (!part.touched) {
      return true;
    }
    // The first failure stays the one reported.
    const SystemErrorCode error = part.file.error;
    if (!part.open && !ReopenInPlace(part.file)) {
      part.file.error = error;
      return false;
    }
    // Only the bytes a failed write reached are written back: a file-size
    // limit may forbid writing past them.
    unsigned long long reached = part.old.size();
    if (!part.open || !Position(part.file, reached) || reached > part.old.size()) {
      reached = part.old.size();
    }
    part.open = false;
    bool back = Rewind(part.file) &&
                WriteOutputFile(part.file, part.old.data(), static_cast<std::size_t>(reached)) &&
                SetLength(part.file, part.oldLength);
    if (count > part.oldLength) {
      ReleaseRoom(part.file, part.oldLength, count);
    }
    back = CloseOutputFile(part.file) && back;
    part.file.error = error;
    return back;
  }

  const OutputPart* parts_;
  int count_;
  Left* left_;
  std::unique_ptr<Prepared[]> prepared_;
  SystemErrorCode error_ = 0;
};

}  // namespace

bool WriteOutput(const char* path, const void* bytes, std::size_t count, SystemErrorCode& error) {
  const OutputRequest whole[] = {{bytes, count}};
  return WriteOutputRequests(path, whole, 1, error);
}

bool WriteOutputs(const OutputPart* parts, int count, int& failed, SystemErrorCode& error,
                  Left* left) {
  for (int i = 0; i < count; ++i) {
    left[i] = Left::kOld;
  }
  SetWriter writer(parts, count, left);
  try {
    const bool written = writer.Run(failed);
    error = writer.error();
    return written;
  } catch (...) {
    // Memory for the kept bytes ran out.
    writer.Undo();
    HoldEndingSignals(false);
    throw;
  }
}

bool WriteStandardOutput(const void* bytes, std::size_t count, SystemErrorCode& error) {
  OutputFile file;
  if (!OpenStandardOutput(file)) {
    error = file.error;
    return false;
  }
  const OutputRequest whole[] = {{bytes, count}};
  return WriteAndClose(file, whole, 1, error);
}

}  // namespace qrimage
