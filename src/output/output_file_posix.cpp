// POSIX file operations: the caller's path bytes are used as they are.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/output_file.h"

namespace qrimage {

bool OpenOutputFile(const char* path, OutputFile& file) {
  if (path == nullptr || path[0] == '\0' || strnlen(path, kMaxPathLength) >= kMaxPathLength) {
    return false;
  }
  int descriptor;
  do {
    descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    return false;
  }
  struct stat status;
  file.descriptor = descriptor;
  file.path = path;
  file.isRegularFile = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
  return true;
}

bool WriteOutputFile(OutputFile& file, const void* bytes, std::size_t count) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t written = write(file.descriptor, next, count);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

bool CloseOutputFile(OutputFile& file) {
  // The descriptor is released even when close reports an error, so it is
  // never retried.
  return close(file.descriptor) == 0;
}

void DiscardOutputFile(OutputFile& file, bool stillOpen) {
  if (stillOpen) {
    close(file.descriptor);
  }
  if (file.isRegularFile) {
    unlink(file.path);
  }
}

}  // namespace qrimage
