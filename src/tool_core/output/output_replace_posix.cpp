// POSIX: a replacement is made beside its target and renamed over it.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "tool_core/output/output_replace.h"

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
      errno = length == 0 ? EINVAL : errno;
      return false;
    }
    link[length] = '\0';
    // A relative link is read from the folder of the name that holds it.
    const char* slash = std::strrchr(target, '/');
    const std::size_t folder = link[0] == '/' || slash == nullptr ? 0 : slash + 1 - target;
    if (folder + static_cast<std::size_t>(length) >= sizeof names.target) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::memcpy(target + folder, link, static_cast<std::size_t>(length) + 1);
  }
  errno = ELOOP;
  return false;
}

// While a replacement's new file exists, SIGHUP, SIGINT and SIGTERM (those
// still at their default disposition, which ends the process) go to a
// handler that removes the new files and then lets the signal end the
// process as it would have: the tool writes from one thread, a set of at
// most kGuardSlots new files at a time.
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
constexpr int kGuardSlots = 16;

struct GuardSlot {
  volatile sig_atomic_t active;  // `path` names a new file
  const char* path;
  dev_t device;  // the new file's identity: only that file is removed
  ino_t inode;
};

struct Guard {
  GuardSlot slots[kGuardSlots];
  int users;  // the new files opened: the handler is set while above 0
  bool installed[kEndingSignalCount];
  struct sigaction previous[kEndingSignalCount];
};
Guard guard;

void RemoveAndEnd(int number) {
  for (const GuardSlot& slot : guard.slots) {
    struct stat named;
    if (slot.active != 0 && lstat(slot.path, &named) == 0 && named.st_dev == slot.device &&
        named.st_ino == slot.inode) {
      unlink(slot.path);
    }
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
  if (guard.users++ > 0) {
    return;
  }
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

// Forgets the new file at `path` (it is renamed or removed), and sets the
// signals back once no new file is left.
void RemoveGuard(const char* path) {
  for (GuardSlot& slot : guard.slots) {
    if (slot.active != 0 && slot.path == path) {
      slot.active = 0;
    }
  }
  if (--guard.users > 0) {
    return;
  }
  for (int i = 0; i < kEndingSignalCount; ++i) {
    if (guard.installed[i]) {
      sigaction(kEndingSignals[i], &guard.previous[i], nullptr);
      guard.installed[i] = false;
    }
  }
}

// Creates a new file of `mode` under the template `path`, its last six
// characters replaced by a name no other file has.
int CreateUnique(char* path, mode_t mode) {
  static unsigned long long state = 0;
  if (state == 0) {
    struct timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    state = static_cast<unsigned long long>(now.tv_nsec) ^
            static_cast<unsigned long long>(now.tv_sec) << 30 ^
            static_cast<unsigned long long>(getpid()) << 40;
  }
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  char* const unique = path + std::strlen(path) - 6;
  for (int attempt = 0; attempt < 100; ++attempt) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    unsigned long long bits = state >> 16;
    for (int i = 0; i < 6; ++i, bits /= 62) {
      unique[i] = kLetters[bits % 62];
    }
    int descriptor;
    do {
      descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor >= 0 || errno != EEXIST) {
      return descriptor;
    }
  }
  errno = EEXIST;
  return -1;
}

// Creates the new file named by the template `path`, with the signals held
// back until the handler knows it.
int CreateGuarded(char* path, mode_t mode) {
  const sigset_t ending = EndingSignals();
  sigset_t previous;
  const bool blocked = pthread_sigmask(SIG_BLOCK, &ending, &previous) == 0;
  const int descriptor = CreateUnique(path, mode);
  const int error = errno;
  struct stat created;
  if (descriptor >= 0 && fstat(descriptor, &created) == 0) {
    for (GuardSlot& slot : guard.slots) {
      if (slot.active == 0) {
        slot.path = path;
        slot.device = created.st_dev;
        slot.inode = created.st_ino;
        slot.active = 1;
        break;
      }
    }
  }
  if (blocked) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  }
  errno = error;
  return descriptor;
}

// What statx says of the file at `path` (nothing where it cannot): a file
// system or a single file mounted there, or an append-only file, is no file
// a rename may replace.
struct NameFlags {
  bool mounted = false;
  bool appendOnly = false;
};

NameFlags FlagsOf(const char* path) {
  NameFlags flags;
#ifdef STATX_ATTR_MOUNT_ROOT
  struct statx status;
  if (statx(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, 0, &status) == 0) {
    const auto set = status.stx_attributes & status.stx_attributes_mask;
    flags.mounted = (set & STATX_ATTR_MOUNT_ROOT) != 0;
    flags.appendOnly = (set & STATX_ATTR_APPEND) != 0;
  }
#else
  (void)path;
#endif
  return flags;
}

// Opens an existing file with `access` (O_RDWR or O_WRONLY) as
// OpenOutputFile does, without truncating it.
int OpenExisting(const char* path, int access) {
  const int flags = access | O_CLOEXEC | O_NOCTTY;
  int descriptor;
  do {
    descriptor = open(path, flags | O_NONBLOCK);
  } while (descriptor < 0 && errno == EINTR);
  // A lease another process holds is waited for (see OpenOutputFile).
  if (descriptor < 0 && errno == EWOULDBLOCK) {
    do {
      descriptor = open(path, flags);
    } while (descriptor < 0 && errno == EINTR);
  }
  return descriptor;
}

bool Failed(OutputFile& file) {
  if (file.error == 0) {
    file.error = errno;
  }
  return false;
}

Replacement Refuse(OutputFile& file, int error) {
  file.error = error;
  return Replacement::kRefused;
}

// Whether `old`, the file at `target`, is one a rename may replace:
// kOpened when it is, else kInPlace or kRefused (with file.error set).
Replacement Replaceable(const char* target, const struct stat& old, OutputFile& file) {
  // Only a regular file with this one name is replaced, and only one of
  // the caller's own (a new file could not keep another owner) that is not
  // mounted over the name.
  const NameFlags flags = FlagsOf(target);
  if (!S_ISREG(old.st_mode) || old.st_nlink != 1 || old.st_uid != geteuid() || flags.mounted) {
    return Replacement::kInPlace;
  }
  // A file the caller may not write (read-only, on a read-only file
  // system, immutable, append-only) is refused as opening it in place
  // would be, before any file of a set is changed.
  if (faccessat(AT_FDCWD, target, W_OK, AT_EACCESS) != 0) {
    return Refuse(file, errno);
  }
  if (flags.appendOnly) {
    return Refuse(file, EPERM);
  }
  return Replacement::kOpened;
}

// The name of the new file, hidden in the target's folder under a name of
// fixed length, so that it fits wherever the target's name does; false
// when the folder's name leaves no room for it.
bool TemporaryName(ReplacementNames& names) {
  const char* slash = std::strrchr(names.target, '/');
  const std::size_t folder = slash == nullptr ? 0 : slash + 1 - names.target;
  constexpr char kTemplate[] = ".qrimage-XXXXXX";
  if (folder + sizeof kTemplate > sizeof names.temporary) {
    return false;
  }
  std::memcpy(names.temporary, names.target, folder);
  std::memcpy(names.temporary + folder, kTemplate, sizeof kTemplate);
  return true;
}

// Gives the new file `descriptor` the group of `old` (when it replaces
// one), which a folder may not hand down, then its permission bits beyond
// what the creation mask allows: changing the group clears the
// set-user-ID and set-group-ID bits. `created` is what the new file is.
// Returns 0 or the error.
int TakeOver(int descriptor, const struct stat* old, struct stat& created) {
  if (fstat(descriptor, &created) != 0) {
    return errno;
  }
  if (old != nullptr && created.st_gid != old->st_gid &&
      fchown(descriptor, static_cast<uid_t>(-1), old->st_gid) != 0) {
    return errno;
  }
  if (old != nullptr && fchmod(descriptor, old->st_mode & 07777) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace

Replacement OpenReplacement(const char* path, OutputFile& file, ReplacementNames& names,
                            bool newFile) {
  StartOutputRecord(file, -1, path);
  struct stat old;
  if (path == nullptr || !CopyName(names.target, sizeof names.target, path, std::strlen(path))) {
    return Replacement::kInPlace;
  }
  const bool exists = FollowLinks(names, old);
  // A name that leads to no file yet gets a new file too, when asked for.
  if (!exists && !(newFile && errno == ENOENT)) {
    return Replacement::kInPlace;
  }
  if (exists) {
    const Replacement replaceable = Replaceable(names.target, old, file);
    if (replaceable != Replacement::kOpened) {
      return replaceable;
    }
  }
  if (!TemporaryName(names)) {
    return Refuse(file, ENAMETOOLONG);
  }
  InstallGuard();
  // A file that replaces another is readable by no one else until it has
  // the old one's permission bits; a new one gets those of any new file.
  const int descriptor = CreateGuarded(names.temporary, exists ? 0600 : 0666);
  if (descriptor < 0) {
    const int error = errno;
    RemoveGuard(names.temporary);
    // A folder the caller may not add to: its files are written in place.
    if (error == EACCES || error == EPERM) {
      return Replacement::kInPlace;
    }
    return Refuse(file, error);  // a name too long, no free inode, ...
  }
  // A group the caller cannot give is kept by writing in place.
  struct stat created;
  const int error = TakeOver(descriptor, exists ? &old : nullptr, created);
  if (error != 0) {
    close(descriptor);
    unlink(names.temporary);
    RemoveGuard(names.temporary);
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
  RemoveGuard(file.path);
  // A file mounted over the name (EBUSY), or a name on another file system
  // than its folder (EXDEV), can still be written in place.
  writeInPlace = !moved && (file.error == EBUSY || file.error == EXDEV);
  return moved;
}

void HoldEndingSignals(bool hold) {
  static bool held = false;
  static sigset_t previous;
  if (hold && !held) {
    const sigset_t ending = EndingSignals();
    held = pthread_sigmask(SIG_BLOCK, &ending, &previous) == 0;
  } else if (!hold && held) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    held = false;
  }
}

void AbandonReplacement(OutputFile& file, bool written) {
  struct stat named;
  if (written && lstat(file.path, &named) == 0 && named.st_dev == file.device &&
      named.st_ino == file.inode) {
    unlink(file.path);
  }
  RemoveGuard(file.path);
}

InPlace OpenInPlace(const char* path, OutputFile& file, unsigned long long& length) {
  StartOutputRecord(file, -1, path);
  struct stat status;
  if (path == nullptr || stat(path, &status) != 0 || !S_ISREG(status.st_mode)) {
    return InPlace::kOther;
  }
  InPlace opened = InPlace::kKept;
  int descriptor = OpenExisting(path, O_RDWR);
  if (descriptor < 0 && errno == EACCES) {
    opened = InPlace::kWriteOnly;
    descriptor = OpenExisting(path, O_WRONLY);
  }
  if (descriptor < 0) {
    file.error = errno;
    return InPlace::kRefused;
  }
  // What the name leads to now (a FIFO put in its place, say) decides.
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    return InPlace::kOther;
  }
  file.descriptor = descriptor;
  file.isRegularFile = true;
  file.device = status.st_dev;
  file.inode = status.st_ino;
  length = static_cast<unsigned long long>(status.st_size);
  return opened;
}

bool ReopenInPlace(OutputFile& file) {
  const int descriptor = OpenExisting(file.path, O_WRONLY);
  struct stat status;
  if (descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      status.st_dev == file.device && status.st_ino == file.inode) {
    file.descriptor = descriptor;
    return true;
  }
  if (descriptor >= 0) {
    close(descriptor);
  }
  return false;
}

bool ReadFromStart(OutputFile& file, void* bytes, std::size_t count) {
  char* next = static_cast<char*>(bytes);
  for (std::size_t done = 0; done < count;) {
    const ssize_t got = pread(file.descriptor, next + done, count - done, static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      errno = got == 0 ? EIO : errno;  // the file was cut meanwhile
      return Failed(file);
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool Rewind(OutputFile& file) {
  return lseek(file.descriptor, 0, SEEK_SET) == 0 || Failed(file);
}

bool Position(OutputFile& file, unsigned long long& position) {
  const off_t at = lseek(file.descriptor, 0, SEEK_CUR);
  position = static_cast<unsigned long long>(at);
  return at >= 0;
}

bool SetLength(OutputFile& file, unsigned long long length) {
  // Growing past the file-size limit would raise SIGXFSZ, which ends the
  // process: it fails as a write past it does.
  struct stat status;
  struct rlimit limit;
  if (fstat(file.descriptor, &status) == 0 &&
      length > static_cast<unsigned long long>(status.st_size) &&
      getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      length > limit.rlim_cur) {
    errno = EFBIG;
    return Failed(file);
  }
  int result;
  do {
    result = ftruncate(file.descriptor, static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  return result == 0 || Failed(file);
}

bool ReserveRoom(OutputFile& file, std::size_t count) {
#ifdef __linux__
  // Blocks that are already the file's are kept; the length does not change,
  // and so no file-size limit applies yet. A file system that cannot
  // reserve (EOPNOTSUPP) is written all the same.
  if (count > 0 &&
      fallocate(file.descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(count)) != 0 &&
      (errno == ENOSPC || errno == EDQUOT)) {
    return Failed(file);
  }
#else
  (void)file;
  (void)count;
#endif
  return true;
}

void ReleaseRoom(OutputFile& file, unsigned long long from, unsigned long long to) {
#ifdef __linux__
  fallocate(file.descriptor, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, static_cast<off_t>(from),
            static_cast<off_t>(to - from));
#else
  (void)file;
  (void)from;
  (void)to;
#endif
}

}  // namespace qrimage
