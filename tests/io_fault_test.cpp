// Faults the system seldom shows on demand: short and interrupted writes,
// writes that move nothing, a failing close, a file that cannot be removed
// or that is replaced while it is written, a lock that cannot be taken.
// The binary is linked with --wrap for write, close, unlink and
// pthread_mutex_lock, so the library's calls come here first; outside a
// Faults scope every call goes straight through.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>

#include "qrimage.h"
#include "test_util.h"

extern "C" {
ssize_t __real_write(int fd, const void* bytes, size_t count);
int __real_close(int fd);
int __real_unlink(const char* path);
int __real_pthread_mutex_lock(pthread_mutex_t* mutex);
}

namespace {

struct FaultPlan {
  bool armed = false;
  int writeCalls = 0;
  std::size_t maxChunk = 0;  // nonzero: no write transfers more than this
  bool interruptEveryOther = false;
  int nothingFrom = -1;  // from this write call on, writes move nothing
  int nothingCount = 0;  // ... this many times in a row
  bool closeFails = false;
  bool unlinkFails = false;
  bool lockFails = false;
  std::function<void()> beforeFirstWrite;
};
FaultPlan plan;

// Arms `plan` for one scope.
struct Faults {
  explicit Faults(const FaultPlan& p) {
    plan = p;
    plan.armed = true;
  }
  ~Faults() { plan = FaultPlan{}; }
};

}  // namespace

extern "C" ssize_t __wrap_write(int fd, const void* bytes, size_t count) {
  if (!plan.armed) {
    return __real_write(fd, bytes, count);
  }
  const int call = plan.writeCalls++;
  if (call == 0 && plan.beforeFirstWrite) {
    plan.beforeFirstWrite();
  }
  if (plan.interruptEveryOther && call % 2 == 0) {
    errno = EINTR;
    return -1;
  }
  if (plan.nothingFrom >= 0 && call >= plan.nothingFrom && plan.nothingCount > 0) {
    --plan.nothingCount;
    return 0;
  }
  if (plan.maxChunk != 0 && count > plan.maxChunk) {
    count = plan.maxChunk;
  }
  return __real_write(fd, bytes, count);
}

extern "C" int __wrap_close(int fd) {
  const int result = __real_close(fd);
  if (plan.armed && plan.closeFails) {
    errno = EIO;  // as on Linux, the descriptor is released all the same
    return -1;
  }
  return result;
}

extern "C" int __wrap_unlink(const char* path) {
  if (plan.armed && plan.unlinkFails) {
    errno = EACCES;
    return -1;
  }
  return __real_unlink(path);
}

extern "C" int __wrap_pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (plan.armed && plan.lockFails) {
    return EAGAIN;
  }
  return __real_pthread_mutex_lock(mutex);
}

namespace {

using qrtest::Bytes;

const std::string kText(600, 'w');  // version 19 at M: 101 x 101 pixels

Bytes Reference() {
  const std::string path = qrtest::ScratchPath("reference.bmp");
  EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), 19);
  return qrtest::ReadFile(path);
}

TEST(IoFaults, ShortAndInterruptedWritesAreResumed) {
  const Bytes reference = Reference();
  ASSERT_EQ(reference.size(), 62u + 101 * 16);
  const std::string path = qrtest::ScratchPath("short.bmp");
  {
    FaultPlan p;
    p.maxChunk = 5;
    p.interruptEveryOther = true;
    Faults faults(p);
    EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), 19);
  }
  EXPECT_TRUE(qrtest::ReadFile(path) == reference);
}

TEST(IoFaults, AWriteThatMovesNothingIsAFailure) {
  const std::string path = qrtest::ScratchPath("stalled.bmp");
  for (const int from : {0, 3, 40}) {
    FaultPlan p;
    // The library may hand the file over in a few large writes; short
    // writes make it take many, so that one in the middle can stall.
    p.maxChunk = 32;
    p.nothingFrom = from;
    p.nothingCount = 1000;  // then writes work again, so retrying for ever cannot hide it
    Faults faults(p);
    EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), QRIMAGE_ERROR_FILE) << from;
    EXPECT_FALSE(qrtest::FileExists(path)) << from;
  }
}

TEST(IoFaults, AFailingCloseGivesFileErrorAndRemovesTheFile) {
  Reference();  // the first call's one-time work is done before counting
  const int descriptors = qrtest::OpenDescriptors();
  const std::string path = qrtest::ScratchPath("close.bmp");
  qrtest::WriteFile(path, Bytes(50, 1));
  {
    FaultPlan p;
    p.closeFails = true;
    Faults faults(p);
    EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), QRIMAGE_ERROR_FILE);
  }
  EXPECT_FALSE(qrtest::FileExists(path));
  EXPECT_EQ(qrtest::OpenDescriptors(), descriptors);
}

// Writes that stop part way through the file, or a close that fails after
// the whole file was written.
FaultPlan WritesOrCloseFail(bool closeFails) {
  FaultPlan p;
  p.closeFails = closeFails;
  if (!closeFails) {
    p.maxChunk = 32;  // many writes, as above
    p.nothingFrom = 30;
    p.nothingCount = 1000;
  }
  return p;
}

// When the file cannot be removed after a failed write or close, it is
// left empty rather than holding the start of a bitmap, or all of one.
TEST(IoFaults, AFileThatCannotBeRemovedIsLeftEmpty) {
  for (const bool closeFails : {false, true}) {
    const std::string path = qrtest::ScratchPath("kept.bmp");
    {
      FaultPlan p = WritesOrCloseFail(closeFails);
      p.unlinkFails = true;
      Faults faults(p);
      EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), QRIMAGE_ERROR_FILE);
    }
    ASSERT_TRUE(qrtest::FileExists(path)) << closeFails;
    EXPECT_EQ(qrtest::ReadFile(path).size(), 0u) << closeFails;
  }
}

// After a failed write or close, a name is removed only when it is the
// written file's one and only name. A symbolic link, a second hard link and
// a file moved to the path while the bitmap was written all keep their
// names; the written file is left empty under each of them, and a file
// that took its place is left as it is.
TEST(IoFaults, AFailedWriteRemovesNoOtherNameAndLeavesNoPartialBitmap) {
  enum Setup { kSymbolicLink, kHardLink, kReplaced };
  for (const Setup setup : {kSymbolicLink, kHardLink, kReplaced}) {
    for (const bool closeFails : {false, true}) {
      SCOPED_TRACE(std::to_string(setup) + (closeFails ? ", close fails" : ", writes fail"));
      const std::string target = qrtest::ScratchPath("target.bmp");
      qrtest::WriteFile(target, Bytes(50, 1));
      FaultPlan p = WritesOrCloseFail(closeFails);
      std::string path = target;
      std::string otherName = target;
      Bytes left;  // what every name must hold afterwards
      if (setup == kSymbolicLink) {
        path = otherName = qrtest::ScratchPath("link.bmp");
        ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
      } else if (setup == kHardLink) {
        otherName = qrtest::ScratchPath("second-name.bmp");
        ASSERT_EQ(link(target.c_str(), otherName.c_str()), 0);
      } else {
        const std::string newcomer = qrtest::ScratchPath("newcomer.bmp");
        left = Bytes(70, 2);
        qrtest::WriteFile(newcomer, left);
        p.beforeFirstWrite = [=] { std::rename(newcomer.c_str(), target.c_str()); };
      }
      {
        Faults faults(p);
        EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), QRIMAGE_ERROR_FILE);
      }
      for (const std::string& name : {target, otherName}) {
        EXPECT_TRUE(qrtest::FileExists(name)) << name;
        EXPECT_TRUE(qrtest::ReadFile(name) == left) << name;
      }
      struct stat status;
      EXPECT_TRUE(lstat(path.c_str(), &status) == 0 &&
                  S_ISLNK(status.st_mode) == (setup == kSymbolicLink));
    }
  }
}

// A lock the system refuses gives the internal-failure code, not an
// exception through the C boundary, and touches no file; the next call
// works as usual.
TEST(IoFaults, ARefusedCallLockGivesEncodingErrorAndTouchesNoFile) {
  const Bytes reference = Reference();
  const std::string path = qrtest::ScratchPath("unlocked.bmp");
  qrtest::WriteFile(path, Bytes(50, 1));
  int result = 0;
  {
    FaultPlan p;
    p.lockFails = true;
    Faults faults(p);
    result = QRImage(kText.c_str(), 'M', path.c_str());
  }
  EXPECT_EQ(result, QRIMAGE_ERROR_ENCODING);
  EXPECT_TRUE(qrtest::ReadFile(path) == Bytes(50, 1));
  EXPECT_EQ(QRImage(kText.c_str(), 'M', path.c_str()), 19);
  EXPECT_TRUE(qrtest::ReadFile(path) == reference);
}

}  // namespace
