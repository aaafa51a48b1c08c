// POSIX: a replacement is made beside its target and renamed over it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "output/output_replace.h"

namespace qrimage {
namespace {

// Copies `length` bytes and a NUL to `to` if they fit in `room`.
bool CopyName(char* to, std::size_t room, const char* from, std::size_t length) {
  if (length >= room) {
    return false;
  }
  std::memcpy(to, from, length);
  to[length] = '\0';
  return true;
}

// Follows `names.target` through symbolic links, in place, to what they
// finally name; `names.temporary` serves as scratch. False when a link
// cannot be read, the chain is too long or a name does not fit.
bool FollowLinks(ReplacementNames& names, struct stat& status) {
  char* const target = names.target;
  char* const link = names.temporary;
  for (int hops = 0; hops < 40; ++hops) {
    if (lstat(target, &status) != 0) {
      return false;
    }
    if (!S_ISLNK(status.st_mode)) {
      return true;
    }
    const ssize_t length = readlink(target, link, sizeof names.temporary - 1);
    if (length <= 0) {
      return false;
    }
    link[length] = '\0';
    // A relative link is read from the folder of the name that holds it.
    const char* slash = std::strrchr(target, '/');
    const std::size_t folder = link[0] == '/' || slash == nullptr ? 0 : slash + 1 - target;
    if (folder + static_cast<std::size_t>(length) >= sizeof names.target) {
      return false;
    }
    std::memcpy(target + folder, link, static_cast<std::size_t>(length) + 1);
  }
  return false;
}

}  // namespace

bool OpenReplacement(const char* path, OutputFile& file, ReplacementNames& names) {
  struct stat old;
  if (path == nullptr || !CopyName(names.target, sizeof names.target, path, std::strlen(path)) ||
      !FollowLinks(names, old)) {
    return false;
  }
  // Only a regular file with this one name is replaced, and only one of the
  // caller's own: a new file could not keep another owner.
  if (!S_ISREG(old.st_mode) || old.st_nlink != 1 || old.st_uid != geteuid()) {
    return false;
  }
  // The new file: ".NAME.XXXXXX" in the target's folder.
  const char* slash = std::strrchr(names.target, '/');
  const std::size_t folder = slash == nullptr ? 0 : slash + 1 - names.target;
  const char* base = names.target + folder;
  const std::size_t baseLength = std::strlen(base);
  constexpr char kSuffix[] = ".XXXXXX";
  if (folder + 1 + baseLength + sizeof kSuffix > sizeof names.temporary) {
    return false;
  }
  char* at = names.temporary;
  std::memcpy(at, names.target, folder);
  at += folder;
  *at++ = '.';
  std::memcpy(at, base, baseLength);
  std::memcpy(at + baseLength, kSuffix, sizeof kSuffix);
  const int descriptor = mkostemp(names.temporary, O_CLOEXEC);
  if (descriptor < 0) {
    return false;  // a folder the caller may not write to, say
  }
  // The old file's permission bits, beyond what the creation mask allows,
  // and its group, which a folder may not hand down.
  struct stat created;
  if (fchmod(descriptor, old.st_mode & 07777) != 0 || fstat(descriptor, &created) != 0 ||
      (created.st_gid != old.st_gid &&
       fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) != 0)) {
    close(descriptor);
    unlink(names.temporary);
    return false;
  }
  StartOutputRecord(file, descriptor, names.temporary);
  file.target = names.target;
  file.isRegularFile = true;
  file.device = created.st_dev;
  file.inode = created.st_ino;
  return true;
}

bool OpenStandardOutput(OutputFile& file) {
  StartOutputRecord(file, STDOUT_FILENO, nullptr);
  file.isStandardOutput = true;
  return true;
}

bool MoveIntoPlace(OutputFile& file) {
  if (rename(file.path, file.target) != 0) {
    file.error = errno;
    return false;
  }
  return true;
}

}  // namespace qrimage
