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

// Two signals can come out of a write, and both end the host process by
// default: SIGPIPE when the reader of a FIFO or socket has gone, SIGXFSZ
// when a file would grow past the process's file-size limit. Around the
// write both are blocked in this thread. One that the write raised is taken
// back out of the pending set, and the write simply fails (EPIPE, EFBIG) or
// comes back short. One that was pending before stays pending, and the
// thread's mask is restored, so the host's own handling is untouched.
constexpr int kGuardedSignals[] = {SIGPIPE, SIGXFSZ};

ssize_t WriteWithoutSignals(int descriptor, const void* bytes, std::size_t count) {
  sigset_t guarded;
  sigset_t previous;
  sigset_t before;
  sigemptyset(&guarded);
  for (const int number : kGuardedSignals) {
    sigaddset(&guarded, number);
  }
  if (pthread_sigmask(SIG_BLOCK, &guarded, &previous) != 0) {
    return write(descriptor, bytes, count);
  }
  // A signal that the thread did not block could not be pending a moment
  // ago (it would have been delivered), so the pending set is only worth
  // asking for when the host itself blocks one of them.
  bool hostBlocks = false;
  for (const int number : kGuardedSignals) {
    hostBlocks = hostBlocks || sigismember(&previous, number) == 1;
  }
  sigemptyset(&before);
  if (hostBlocks && sigpending(&before) != 0) {
    sigfillset(&before);  // unknown: take nothing back out
  }
  const ssize_t written = write(descriptor, bytes, count);
  const int writeError = errno;
  // Neither signal comes with a write that moved every byte. A write to a
  // pipe can be cut short by the reader going away: it then returns a
  // count, not EPIPE, with the signal pending all the same.
  sigset_t after;
  if (written != static_cast<ssize_t>(count) && sigpending(&after) == 0) {
    sigset_t raised;
    sigemptyset(&raised);
    for (const int number : kGuardedSignals) {
      if (sigismember(&after, number) == 1 && sigismember(&before, number) == 0) {
        sigaddset(&raised, number);
      }
    }
    const struct timespec noWait = {0, 0};
    while (sigtimedwait(&raised, nullptr, &noWait) > 0 || errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = writeError;
  return written;
}

bool WriteAll(OutputFile& file, const char* next, std::size_t count) {
  while (count > 0) {
    const ssize_t written = WriteWithoutSignals(file.descriptor, next, count);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    // A write that moves nothing would repeat forever; treat it as a failure.
    if (written <= 0) {
      if (file.error == 0) {
        file.error = written < 0 ? errno : 0;
      }
      return false;
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

// Empties a regular file, so that a partial bitmap is not left behind even
// if it cannot be removed.
void EmptyIfRegular(OutputFile& file) {
  if (file.isRegularFile) {
    while (ftruncate(file.descriptor, 0) < 0 && errno == EINTR) {
    }
  }
}

bool IsOpenedFile(const OutputFile& file, const struct stat& status) {
  return S_ISREG(status.st_mode) && status.st_dev == file.device && status.st_ino == file.inode;
}

// After a failed close the descriptor is gone: the file is opened again by
// its path and emptied, provided the path still leads to it.
void EmptyThroughPath(OutputFile& file) {
  const int descriptor = open(file.path, O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (descriptor < 0) {
    return;
  }
  struct stat status;
  if (fstat(descriptor, &status) == 0 && IsOpenedFile(file, status)) {
    while (ftruncate(descriptor, 0) < 0 && errno == EINTR) {
    }
  }
  close(descriptor);
}

int OpenForWriting(const char* path, int extraFlags) {
  int descriptor;
  do {
    descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | extraFlags, 0666);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

}  // namespace

void StartOutputRecord(OutputFile& file, int descriptor, const char* path) {
  file.descriptor = descriptor;
  file.path = path;
  file.target = nullptr;
  file.isRegularFile = false;
  file.isStandardOutput = false;
  file.error = 0;
}

bool OpenOutputFile(const char* path, OutputFile& file) {
  StartOutputRecord(file, -1, path);
  if (path == nullptr || path[0] == '\0') {
    file.error = ENOENT;
    return false;
  }
  if (strnlen(path, kMaxPathLength) >= kMaxPathLength) {
    file.error = ENAMETOOLONG;
    return false;
  }
  // Opening a FIFO for writing waits for a reader, which may never come;
  // with O_NONBLOCK it fails at once (ENXIO) instead. Asking the path's
  // type first would cost a call and leave a gap in which a FIFO could take
  // the file's place, so the first open always carries the flag. On a
  // regular file the flag matters in one case only: when another process
  // holds a lease on the file (file servers take them), the open fails
  // with EWOULDBLOCK instead of waiting while the holder gives the lease
  // up. That case alone is opened again without the flag, if the path
  // still names a regular file. Writes to a regular file ignore the flag;
  // on anything else it is cleared before the first write.
  int descriptor = OpenForWriting(path, O_NONBLOCK);
  if (descriptor < 0 && errno == EWOULDBLOCK) {
    struct stat named;
    if (stat(path, &named) == 0 && S_ISREG(named.st_mode)) {
      descriptor = OpenForWriting(path, 0);
    }
  }
  if (descriptor < 0) {
    file.error = errno;
    return false;
  }
  struct stat status;
  file.descriptor = descriptor;
  file.isRegularFile = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
  if (file.isRegularFile) {
    file.device = status.st_dev;
    file.inode = status.st_ino;
  } else {
    const int flags = fcntl(descriptor, F_GETFL);
    if (flags < 0 || fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK) < 0) {
      file.error = errno;
      close(descriptor);
      return false;
    }
  }
  return true;
}

bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count) {
  return WriteAll(file, static_cast<const char*>(bytes), count);
}

bool CloseOutputFile(OutputFile& file) {
  if (file.isStandardOutput) {
    return true;
  }
  // The descriptor is released even when close reports an error, so it is
  // never retried.
  if (close(file.descriptor) != 0) {
    file.error = errno;
    return false;
  }
  return true;
}

void DiscardOutputFile(OutputFile& file, bool stillOpen) {
  if (file.isStandardOutput) {
    return;
  }
  if (stillOpen) {
    // Empty the file first: if its name is kept or cannot be removed (a
    // folder the caller may not change), no partial bitmap is left behind.
    EmptyIfRegular(file);
    close(file.descriptor);
  }
  if (!file.isRegularFile) {
    return;
  }
  // The name is removed only if it is the written file's one and only name:
  // removing a symbolic link would leave its target behind, removing one
  // of several hard links would leave the others, and a file moved to the
  // path meanwhile is not ours to remove. Such names all stay.
  struct stat named;
  if (lstat(file.path, &named) == 0 && IsOpenedFile(file, named) && named.st_nlink == 1 &&
      unlink(file.path) == 0) {
    return;
  }
  if (!stillOpen) {
    EmptyThroughPath(file);
  }
}

}  // namespace qrimage
