// Hostile input and failing writes: no overrun, no success for a file that
// was not written in full, no partial bitmap left behind, nothing leaked.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "data/version_select.h"
#include "qrimage.h"
#include "test_util.h"

namespace {

using qrtest::Bytes;

TEST(HostileInput, TextsTooLongForTheBufferGiveInputError) {
  const std::string path = qrtest::ScratchPath("long.bmp");
  for (const std::size_t length : {2954u, 2974u, 2975u, 2976u, 4096u, 1u << 20, 16u << 20}) {
    // The first 2953 bytes alone would fit version 40 at L: the rest must
    // not be dropped.
    const std::string text = qrtest::MixedText(2953, 7) + std::string(length - 2953, 'k');
    for (const char level : qrimage::kLevelLetters) {
      EXPECT_EQ(QRImage(text.c_str(), level, path.c_str()), QRIMAGE_ERROR_INPUT) << length;
    }
    EXPECT_EQ(QRImage(text.c_str(), 'l', path.c_str()), QRIMAGE_ERROR_INPUT) << length;
  }
  EXPECT_FALSE(qrtest::FileExists(path));
  // Nothing beyond the library's text copy was overwritten: the tables and
  // buffers the next call relies on still give a fresh process's file.
  const std::string after = qrtest::ScratchPath("after-long.bmp");
  ASSERT_EQ(QRImage("after the long texts", 'Q', after.c_str()), 2);
  EXPECT_TRUE(qrtest::ReadFile(after) == qrtest::EncodeInFreshProcess("after the long texts", 'Q'));
}

// The library reads no more of the text than it can keep: 2974 bytes
// without a NUL, right before a page that cannot be read, give -1 and no
// fault.
TEST(HostileInput, AtMost2974TextBytesAreRead) {
  const long page = sysconf(_SC_PAGESIZE);
  ASSERT_GE(page, 4096);
  void* mapping =
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  char* guard = static_cast<char*>(mapping) + page;
  ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
  char* text = guard - 2974;
  std::memset(text, 'g', 2974);
  const std::string path = qrtest::ScratchPath("unterminated.bmp");
  for (const char level : qrimage::kLevelLetters) {
    EXPECT_EQ(QRImage(text, level, path.c_str()), QRIMAGE_ERROR_INPUT);
  }
  EXPECT_FALSE(qrtest::FileExists(path));
  munmap(mapping, 2 * page);
}

// No exception can reach a C++ host either.
static_assert(noexcept(QRImage(nullptr, 'M', nullptr)));

TEST(HostileInput, NullTextIsAnInputErrorBeforeThePathIsLookedAt) {
  const std::string path = qrtest::ScratchPath("null-text.bmp");
  EXPECT_EQ(QRImage(nullptr, 'M', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(QRImage(nullptr, 'x', path.c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(QRImage(nullptr, 'M', nullptr), QRIMAGE_ERROR_INPUT);
  EXPECT_FALSE(qrtest::FileExists(path));
  // A null path is an unusable path, whatever the text.
  EXPECT_EQ(QRImage(std::string(2331, 'm').c_str(), 'M', nullptr), QRIMAGE_ERROR_FILE);
}

// A private node of the full-disk device: every write fails with ENOSPC.
TEST(WriteFailure, FullDeviceGivesFileErrorAndTheNodeStays) {
  const std::string node = qrtest::ScratchPath("full");
  const dev_t device = makedev(1, 7);
  if (mknod(node.c_str(), S_IFCHR | 0666, device) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  const int probe = open(node.c_str(), O_WRONLY);
  if (probe < 0) {
    GTEST_SKIP() << "device nodes cannot be opened here: " << std::strerror(errno);
  }
  close(probe);

  const int descriptors = qrtest::OpenDescriptors();
  for (const std::string& text : {std::string("v1"), std::string(2331, 'F')}) {
    for (int repeat = 0; repeat < 10; ++repeat) {
      EXPECT_EQ(QRImage(text.c_str(), 'M', node.c_str()), QRIMAGE_ERROR_FILE);
    }
  }
  EXPECT_EQ(qrtest::OpenDescriptors(), descriptors);
  struct stat status;
  ASSERT_EQ(lstat(node.c_str(), &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
  EXPECT_EQ(status.st_rdev, device);
}

// The signal state a host may have for SIGXFSZ: its disposition, whether
// this thread blocks it and whether one is pending.
struct SizeSignalState {
  void (*action)(int);
  bool blocked;
  bool pending;
  bool operator==(const SizeSignalState&) const = default;
};

SizeSignalState CurrentSizeSignalState() {
  struct sigaction action;
  sigset_t mask;
  sigset_t pending;
  sigaction(SIGXFSZ, nullptr, &action);
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  sigpending(&pending);
  return {action.sa_handler, sigismember(&mask, SIGXFSZ) == 1, sigismember(&pending, SIGXFSZ) == 1};
}

// How a host may have set SIGXFSZ up: left at its default action, which
// ends the process; ignored; or blocked with one already pending, which
// must stay pending.
enum SizeSignalSetup { kDefault, kIgnored, kBlockedAndPending };

// Child process exit codes: the result + 10, plus 100 when a file is left;
// 98 when the call changed the host's SIGXFSZ state.
int WriteUnderSizeLimit(rlim_t limit, const std::string& path, bool existing,
                        SizeSignalSetup setup = kDefault) {
  return qrtest::RunInChild([&] {
    if (existing) {
      qrtest::WriteFile(path, Bytes(9000, 0x33));
    }
    signal(SIGXFSZ, setup == kIgnored ? SIG_IGN : SIG_DFL);
    if (setup == kBlockedAndPending) {
      sigset_t sizeSignal;
      sigemptyset(&sizeSignal);
      sigaddset(&sizeSignal, SIGXFSZ);
      pthread_sigmask(SIG_BLOCK, &sizeSignal, nullptr);
      raise(SIGXFSZ);
    }
    const SizeSignalState before = CurrentSizeSignalState();
    const struct rlimit rl = {limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) {
      return 99;
    }
    const int result = QRImage(std::string(2331, 'R').c_str(), 'M', path.c_str());
    if (!(CurrentSizeSignalState() == before)) {
      return 98;
    }
    return result + 10 + (qrtest::FileExists(path) ? 100 : 0);
  });
}

// The version 40 file is 4502 bytes: 14 + 40 + 4 + 4 header bytes, then
// 185 rows of 24 bytes.
TEST(WriteFailure, FileSizeLimitGivesFileErrorAndLeavesNoPartialFile) {
  for (const rlim_t limit : {0, 10, 62, 1000, 4501}) {
    for (const bool existing : {false, true}) {
      for (const SizeSignalSetup setup : {kDefault, kIgnored, kBlockedAndPending}) {
        const std::string path = qrtest::ScratchPath("limited.bmp");
        EXPECT_EQ(WriteUnderSizeLimit(limit, path, existing, setup), QRIMAGE_ERROR_FILE + 10)
            << "limit " << limit << (existing ? ", replacing a file" : "") << ", SIGXFSZ setup "
            << setup;
        EXPECT_FALSE(qrtest::FileExists(path));
      }
    }
  }
  const std::string path = qrtest::ScratchPath("fits.bmp");
  EXPECT_EQ(WriteUnderSizeLimit(4502, path, false), 40 + 10 + 100);
  EXPECT_EQ(qrtest::ReadFile(path).size(), 4502u);
}

// A FIFO nobody reads would block the open forever.
TEST(WriteFailure, FifoWithoutReaderGivesFileErrorAtOnce) {
  const std::string fifo = qrtest::ScratchPath("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  const int code = qrtest::RunInChild([&] {
    alarm(10);
    return QRImage("nobody reads this", 'L', fifo.c_str()) + 10;
  });
  EXPECT_EQ(code, QRIMAGE_ERROR_FILE + 10);
  struct stat status;
  ASSERT_EQ(lstat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

// A reader that takes a few bytes and goes away: the rest of the writes
// fail with a broken pipe, which must be -3 and not a SIGPIPE that ends
// the host. The pipe is made smaller than the version 40 file, so the
// writer cannot finish before the reader leaves.
TEST(WriteFailure, ReaderThatGoesAwayGivesFileErrorNotSigpipe) {
  const std::string fifo = qrtest::ScratchPath("short-lived-reader");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_GE(fcntl(reader, F_SETPIPE_SZ, 4096), 0);
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    close(reader);
    alarm(10);
    _exit(QRImage(std::string(2331, 'P').c_str(), 'M', fifo.c_str()) + 10);
  }
  char start[10];
  ssize_t got = 0;
  for (int wait = 0; wait < 10000 && got <= 0; ++wait) {
    got = read(reader, start, sizeof start);  // 0 or EAGAIN until the child writes
    if (got <= 0) {
      usleep(1000);
    }
  }
  close(reader);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_GT(got, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), QRIMAGE_ERROR_FILE + 10);
}

// A regular file under another process's lease (as file servers take
// them) is opened the way any program opens it: the open makes the holder
// give the lease up and waits for it. The holder is a second process that
// releases the lease when told to.
int leaseDescriptor = -1;
volatile sig_atomic_t leaseReleased = 0;

TEST(OtherProcesses, ALeasedFileIsWrittenOnceTheHolderGivesItUp) {
  const std::string path = qrtest::ScratchPath("leased.bmp");
  qrtest::WriteFile(path, Bytes(50, 1));
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  std::fflush(nullptr);
  const pid_t holder = fork();
  if (holder == 0) {
    alarm(20);
    signal(SIGIO, [](int) {
      fcntl(leaseDescriptor, F_SETLEASE, F_UNLCK);
      leaseReleased = 1;
    });
    leaseDescriptor = open(path.c_str(), O_RDONLY);
    const char taken = fcntl(leaseDescriptor, F_SETLEASE, F_RDLCK) == 0 ? 'y' : 'n';
    if (write(ready[1], &taken, 1) != 1 || taken != 'y') {
      _exit(2);
    }
    while (!leaseReleased) {
      usleep(1000);
    }
    _exit(0);
  }
  close(ready[1]);
  char taken = 0;
  ASSERT_EQ(read(ready[0], &taken, 1), 1);
  close(ready[0]);
  if (taken != 'y') {
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    GTEST_SKIP() << "no lease can be taken on " << path;
  }
  EXPECT_EQ(QRImage("under lease", 'M', path.c_str()), 1);
  int status = 0;
  waitpid(holder, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the holder was not asked";
  EXPECT_EQ(qrtest::ReadFile(path).size(), 178u);
}

TEST(WriteFailure, FailedOpensLeakNoDescriptor) {
  const int descriptors = qrtest::OpenDescriptors();
  for (int repeat = 0; repeat < 20; ++repeat) {
    EXPECT_EQ(QRImage("x", 'M', qrtest::ScratchDir().c_str()), QRIMAGE_ERROR_FILE);
    EXPECT_EQ(QRImage("x", 'M', "/nonexistent-folder/x.bmp"), QRIMAGE_ERROR_FILE);
  }
  EXPECT_EQ(qrtest::OpenDescriptors(), descriptors);
}

}  // namespace
