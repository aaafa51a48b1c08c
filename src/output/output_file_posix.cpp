// POSIX file operations: the caller's path bytes are used as they are.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "output/output_file.h"

namespace qrimage {
namespace {

// A write to a FIFO or socket whose reader has gone raises SIGPIPE, which
// would end the host process. Around such a write the signal is blocked in
// this thread; if the write caused one, it is taken back out of the pending
// set, and the write simply fails with EPIPE.
ssize_t WriteWithoutSigpipe(int descriptor, const void* bytes, std::size_t count) {
  sigset_t pipeOnly;
  sigset_t previous;
  sigset_t pending;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  if (pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous) != 0) {
    return write(descriptor, bytes, count);
  }
  const bool alreadyPending = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
  const ssize_t written = write(descriptor, bytes, count);
  const int writeError = errno;
  // A write larger than the pipe can be cut short by the reader going away:
  // it then returns a count, not EPIPE, with the signal pending all the same.
  if (!alreadyPending && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
    const struct timespec noWait = {0, 0};
    while (sigtimedwait(&pipeOnly, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return written;
}

// The bitmap writer makes one request per image row. A write() is a
// system call of a few microseconds, more than the whole encoding of a
// small symbol, so the requests are gathered here in their order and reach
// the file in one go when it is closed. A bitmap is at most 4502 bytes;
// anything beyond the buffer goes straight to the file.
constexpr std::size_t kGatherBytes = 8192;
char gathered[kGatherBytes];
std::size_t gatheredCount = 0;

bool WriteAll(OutputFile& file, const char* next, std::size_t count) {
  while (count > 0) {
    // Only a regular file can never raise SIGPIPE.
    const ssize_t written = file.isRegularFile ? write(file.descriptor, next, count)
                                               : WriteWithoutSigpipe(file.descriptor, next, count);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    // A write that moves nothing would repeat forever; treat it as a failure.
    if (written <= 0) {
      return false;
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool FlushGathered(OutputFile& file) {
  const std::size_t count = gatheredCount;
  gatheredCount = 0;
  return WriteAll(file, gathered, count);
}

// Empties a regular file, so that a partial bitmap is not left behind even
// if it cannot be removed.
void EmptyIfRegular(OutputFile& file) {
  if (file.isRegularFile) {
    while (ftruncate(file.descriptor, 0) < 0 && errno == EINTR) {
    }
  }
}

}  // namespace

bool OpenOutputFile(const char* path, OutputFile& file) {
  if (path == nullptr || path[0] == '\0' || strnlen(path, kMaxPathLength) >= kMaxPathLength) {
    return false;
  }
  // O_NONBLOCK for the open: a FIFO without a reader then fails at once
  // (ENXIO) instead of blocking the host forever. Writes to a regular file
  // ignore the flag; on anything else it is cleared before the first write.
  int descriptor;
  do {
    descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    return false;
  }
  struct stat status;
  file.descriptor = descriptor;
  file.path = path;
  file.isRegularFile = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
  if (!file.isRegularFile) {
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) < 0) {
      close(descriptor);
      return false;
    }
  }
  gatheredCount = 0;
  return true;
}

bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count) {
  if (count > kGatherBytes - gatheredCount) {
    if (!FlushGathered(file)) {
      return false;
    }
    if (count > kGatherBytes) {
      return WriteAll(file, static_cast<const char*>(bytes), count);
    }
  }
  std::memcpy(gathered + gatheredCount, bytes, count);
  gatheredCount += count;
  return true;
}

bool CloseOutputFile(OutputFile& file) {
  // A failed flush is a failed write: the file is emptied while it is
  // still open, as DiscardOutputFile would do.
  const bool flushed = FlushGathered(file);
  if (!flushed) {
    EmptyIfRegular(file);
  }
  // The descriptor is released even when close reports an error, so it is
  // never retried.
  return close(file.descriptor) == 0 && flushed;
}

void DiscardOutputFile(OutputFile& file, bool stillOpen) {
  gatheredCount = 0;
  if (stillOpen) {
    // Empty the file first: if the unlink below fails (a folder the caller
    // may not change, or a path that is a link to the file), no partial
    // bitmap is left behind under either name.
    EmptyIfRegular(file);
    close(file.descriptor);
  }
  if (file.isRegularFile) {
    unlink(file.path);
  }
}

}  // namespace qrimage
