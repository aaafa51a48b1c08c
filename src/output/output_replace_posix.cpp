// POSIX: a replacement is made beside its target and renamed over it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
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

// While a replacement's new file exists, SIGHUP, SIGINT and SIGTERM (those
// still at their default disposition, which ends the process) go to a
// handler that removes the file and then lets the signal end the process
// as it would have: the tool writes one file at a time, from one thread.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

struct Guard {
  volatile sig_atomic_t active;  // `path` names the new file
  const char* path;
  dev_t device;  // the new file's identity: only that file is removed
  ino_t inode;
  bool installed[kEndingSignalCount];
  struct sigaction previous[kEndingSignalCount];
};
Guard guard;

void RemoveAndEnd(int number) {
  struct stat named;
  if (guard.active != 0 && lstat(guard.path, &named) == 0 && named.st_dev == guard.device &&
      named.st_ino == guard.inode) {
    unlink(guard.path);
  }
  // The handler was reset to the default (SA_RESETHAND); the signal is
  // blocked until the handler returns, and then ends the process.
  raise(number);
}

sigset_t EndingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : kEndingSignals) {
    sigaddset(&set, number);
  }
  return set;
}

void InstallGuard() {
  struct sigaction handler = {};
  handler.sa_handler = RemoveAndEnd;
  handler.sa_mask = EndingSignals();
  handler.sa_flags = SA_RESETHAND;
  for (int i = 0; i < kEndingSignalCount; ++i) {
    struct sigaction& previous = guard.previous[i];
    guard.installed[i] = sigaction(kEndingSignals[i], &handler, &previous) == 0;
    // A signal that is ignored or handled is left to what was set.
    if (guard.installed[i] &&
        ((previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL)) {
      sigaction(kEndingSignals[i], &previous, nullptr);
      guard.installed[i] = false;
    }
  }
}

void RemoveGuard() {
  guard.active = 0;
  for (int i = 0; i < kEndingSignalCount; ++i) {
    if (guard.installed[i]) {
      sigaction(kEndingSignals[i], &guard.previous[i], nullptr);
      guard.installed[i] = false;
    }
  }
}

// Creates the new file named by the template `path`, with the signals held
// back until the handler knows it.
int CreateGuarded(char* path) {
  const sigset_t ending = EndingSignals();
  sigset_t previous;
  const bool blocked = pthread_sigmask(SIG_BLOCK, &ending, &previous) == 0;
  const int descriptor = mkostemp(path, O_CLOEXEC);
  const int error = errno;
  struct stat created;
  if (descriptor >= 0 && fstat(descriptor, &created) == 0) {
    guard.path = path;
    guard.device = created.st_dev;
    guard.inode = created.st_ino;
    guard.active = 1;
  }
  if (blocked) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  errno = error;
  return descriptor;
}

Replacement Refuse(OutputFile& file, int error) {
  file.error = error;
  return Replacement::kRefused;
}

}  // namespace

Replacement OpenReplacement(const char* path, OutputFile& file, ReplacementNames& names) {
  StartOutputRecord(file, -1, path);
  struct stat old;
  if (path == nullptr || !CopyName(names.target, sizeof names.target, path, std::strlen(path)) ||
      !FollowLinks(names, old)) {
    return Replacement::kInPlace;
  }
  // Only a regular file with this one name is replaced, and only one of the
  // caller's own: a new file could not keep another owner.
  if (!S_ISREG(old.st_mode) || old.st_nlink != 1 || old.st_uid != geteuid()) {
    return Replacement::kInPlace;
  }
  // A file the caller may not write (read-only, on a read-only file
  // system, immutable) is refused as opening it in place would be.
  if (faccessat(AT_FDCWD, names.target, W_OK, AT_EACCESS) != 0) {
    return Refuse(file, errno);
  }
  // The new file, hidden in the target's folder under a name of fixed
  // length, so that it fits wherever the target's name does.
  const char* slash = std::strrchr(names.target, '/');
  const std::size_t folder = slash == nullptr ? 0 : slash + 1 - names.target;
  constexpr char kTemplate[] = ".qrimage-XXXXXX";
  if (folder + sizeof kTemplate > sizeof names.temporary) {
    return Refuse(file, ENAMETOOLONG);
  }
  std::memcpy(names.temporary, names.target, folder);
  std::memcpy(names.temporary + folder, kTemplate, sizeof kTemplate);
  InstallGuard();
  const int descriptor = CreateGuarded(names.temporary);
  if (descriptor < 0) {
    const int error = errno;
    RemoveGuard();
    // A folder the caller may not add to: its files are written in place.
    if (error == EACCES || error == EPERM) {
      return Replacement::kInPlace;
    }
    return Refuse(file, error);  // a name too long, no free inode, ...
  }
  // The old file's group, which a folder may not hand down, then its
  // permission bits beyond what the creation mask allows: changing the
  // group clears the set-user-ID and set-group-ID bits. A group the caller
  // cannot give is kept by writing in place.
  struct stat created;
  int error = 0;
  if (fstat(descriptor, &created) != 0) {
    error = errno;
  } else if (created.st_gid != old.st_gid &&
             fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) != 0) {
    error = errno;
  } else if (fchmod(descriptor, old.st_mode & 07777) != 0) {
    error = errno;
  }
  if (error != 0) {
    close(descriptor);
    unlink(names.temporary);
    RemoveGuard();
    return error == EPERM ? Replacement::kInPlace : Refuse(file, error);
  }
  StartOutputRecord(file, descriptor, names.temporary);
  file.target = names.target;
  file.isRegularFile = true;
  file.device = created.st_dev;
  file.inode = created.st_ino;
  return Replacement::kOpened;
}

bool OpenStandardOutput(OutputFile& file) {
  StartOutputRecord(file, STDOUT_FILENO, nullptr);
  file.isStandardOutput = true;
  return true;
}

bool MoveIntoPlace(OutputFile& file, bool& writeInPlace) {
  const bool moved = rename(file.path, file.target) == 0;
  if (!moved) {
    file.error = errno;
    unlink(file.path);
  }
  RemoveGuard();
  // A file mounted over the name (EBUSY), or a name on another file system
  // than its folder (EXDEV), can still be written in place.
  writeInPlace = !moved && (file.error == EBUSY || file.error == EXDEV);
  return moved;
}

void AbandonReplacement(OutputFile&) {
  RemoveGuard();
}

}  // namespace qrimage
