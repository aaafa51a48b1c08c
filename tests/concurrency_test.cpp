// Host threads that call QRImage at the same time: every call must write
// exactly the file it writes alone, the very first calls included.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "data/version_select.h"
#include "ecc/galois.h"
#include "qrimage.h"
#include "test_util.h"

namespace {

using qrtest::Bytes;

struct Job {
  std::string text;
  char level;
  std::string path;
  int expectedVersion;
  Bytes expected;
};

// Texts of many lengths (so versions, block layouts and masks differ from
// call to call), with a few failing calls mixed in.
std::vector<Job> MakeJobs(int count, const char* tag) {
  std::vector<Job> jobs;
  for (int i = 0; i < count; ++i) {
    Job job;
    const int length = i % 11 == 10 ? 1400 : (i * 37) % 300;
    job.text = qrtest::MixedText(length, static_cast<unsigned>(i) + 1);
    job.level = i % 13 == 12 ? 'x' : qrimage::kLevelLetters[i % 4];
    job.path = qrtest::ScratchPath(std::string(tag) + std::to_string(i) + ".bmp");
    jobs.push_back(job);
  }
  return jobs;
}

// Starts `threads` threads that wait for each other and then work through
// their share of the jobs (thread t takes jobs t, t + threads, ...),
// `rounds` times over, each call writing its own file.
void RunConcurrently(std::vector<Job>& jobs, int threads, int rounds,
                     std::vector<std::vector<int>>& results) {
  std::atomic<int> waiting{threads};
  std::vector<std::thread> pool;
  results.assign(jobs.size(), {});
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) {
        std::this_thread::yield();
      }
      for (int round = 0; round < rounds; ++round) {
        for (std::size_t j = t; j < jobs.size(); j += threads) {
          results[j].push_back(QRImage(jobs[j].text.c_str(), jobs[j].level, jobs[j].path.c_str()));
        }
      }
    });
  }
  for (std::thread& thread : pool) {
    thread.join();
  }
}

void ExpectMatchesTwins(const std::vector<Job>& jobs,
                        const std::vector<std::vector<int>>& results) {
  for (std::size_t j = 0; j < jobs.size(); ++j) {
    SCOPED_TRACE("job " + std::to_string(j) + ", level " + jobs[j].level + ", " +
                 std::to_string(jobs[j].text.size()) + " bytes");
    for (int result : results[j]) {
      EXPECT_EQ(result, jobs[j].expectedVersion);
    }
    if (jobs[j].expectedVersion > 0) {
      EXPECT_TRUE(qrtest::ReadFile(jobs[j].path) == jobs[j].expected);
    } else {
      EXPECT_FALSE(qrtest::FileExists(jobs[j].path));
    }
  }
}

TEST(Concurrency, EveryFileMatchesItsSingleThreadedTwin) {
  std::vector<Job> jobs = MakeJobs(48, "twin");
  for (Job& job : jobs) {
    const std::string alone = qrtest::ScratchPath("alone.bmp");
    job.expectedVersion = QRImage(job.text.c_str(), job.level, alone.c_str());
    job.expected = qrtest::ReadFile(alone);
  }
  std::vector<std::vector<int>> results;
  RunConcurrently(jobs, 4, 3, results);
  ExpectMatchesTwins(jobs, results);
}

// A test of a process's first calls: when an earlier test has called, it
// runs again alone in a new process of this program, and this is true.
bool RanInFreshProcess() {
  if (!qrimage::galoisTablesReady) {
    return false;
  }
  const auto* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::string only = std::string(test->test_suite_name()) + "." + test->name();
  EXPECT_EQ(qrtest::RunProgram({"/proc/self/exe", "--gtest_filter=" + only}), 0);
  return true;
}

// The first calls of a process race to build the field tables. The twins
// come from processes of their own.
TEST(Concurrency, FirstCallsRaceToBuildTheTables) {
  if (RanInFreshProcess()) {
    return;
  }
  std::vector<Job> jobs = MakeJobs(8, "first");
  for (Job& job : jobs) {
    job.expected = qrtest::EncodeInFreshProcess(job.text, job.level);
    // The image is 4V + 25 pixels wide.
    job.expectedVersion =
        job.expected.size() < 62 ? QRIMAGE_ERROR_INPUT : (job.expected[18] - 25) / 4;
  }
  std::vector<std::vector<int>> results;
  RunConcurrently(jobs, 8, 1, results);
  ExpectMatchesTwins(jobs, results);
  EXPECT_EQ(qrimage::galoisTablesReady, 1);
}

// A first call that fails at its arguments still builds the tables.
TEST(Concurrency, AFirstCallWithoutTextBuildsTheTables) {
  if (RanInFreshProcess()) {
    return;
  }
  EXPECT_EQ(QRImage(nullptr, 'L', qrtest::ScratchPath("none.bmp").c_str()), QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(qrimage::galoisTablesReady, 1);
}

// A host may fork while another of its threads is inside QRImage; the
// child must find the library free and whole, and its own call must work.
TEST(Concurrency, ChildrenForkedDuringCallsCanCall) {
  const std::string busyText(2331, 'b');  // version 40: the lock is held most of the time
  const std::string busyPath = qrtest::ScratchPath("busy.bmp");
  std::atomic<bool> stop{false};
  std::atomic<int> busyCalls{0};
  std::thread busy([&] {
    while (!stop.load()) {
      QRImage(busyText.c_str(), 'M', busyPath.c_str());
      busyCalls.fetch_add(1);
    }
  });
  while (busyCalls.load() == 0) {
    std::this_thread::yield();
  }
  const std::string path = qrtest::ScratchPath("forked.bmp");
  for (int child = 0; child < 50; ++child) {
    const int code =
        qrtest::RunInChild([&] { return QRImage("forked", 'M', path.c_str()) + 10; }, 1);
    EXPECT_EQ(code, 1 + 10) << "child " << child << " (-1: hung; below -1000: ended by a signal)";
    if (code != 1 + 10) {
      break;
    }
  }
  stop.store(true);
  busy.join();
}

struct SlowCall {
  std::string text = std::string(2331, 'C');  // version 40: 4502 bytes
  std::string path;
  int result = 0;
};

// A host thread cancelled while QRImage waits in its write, a cancellation
// point, finishes the call and is cancelled at its next cancellation point
// after it; the lock is free for later calls and forks. The FIFO holds less
// than the file, so the write waits until the reader drains it. All in a
// child process, which a lock left held would hang.
TEST(Concurrency, ACallerCancelledInsideACallLeavesTheLibraryFree) {
  SlowCall call;
  call.path = qrtest::ScratchPath("slow-reader");
  ASSERT_EQ(mkfifo(call.path.c_str(), 0666), 0);
  const std::string after = qrtest::ScratchPath("after-cancel.bmp");
  // 1 no small FIFO, 2 the write never waited, 3 the file did not arrive
  // whole, 4 the call failed or the thread was not cancelled after it,
  // 5 the next call or a forked child's call failed.
  const int code = qrtest::RunInChild(
      [&] {
        const int reader = open(call.path.c_str(), O_RDONLY | O_NONBLOCK);
        if (reader < 0 || fcntl(reader, F_SETPIPE_SZ, 4096) != 4096) {
          return 1;
        }
        pthread_t thread;
        pthread_create(
            &thread, nullptr,
            [](void* slow) -> void* {
              auto& call = *static_cast<SlowCall*>(slow);
              call.result = QRImage(call.text.c_str(), 'M', call.path.c_str());
              pthread_testcancel();
              return nullptr;
            },
            &call);
        int queued = 0;
        for (int wait = 0; wait < 5000 && queued < 4096; ++wait) {
          usleep(1000);
          ioctl(reader, FIONREAD, &queued);
        }
        if (queued < 4096) {
          return 2;
        }
        pthread_cancel(thread);
        usleep(100000);
        char buffer[4096];
        std::size_t received = 0;
        struct pollfd readable = {reader, POLLIN, 0};
        for (ssize_t got = 1; got > 0 && poll(&readable, 1, 5000) > 0; received += got) {
          got = std::max<ssize_t>(read(reader, buffer, sizeof buffer), 0);
        }
        if (received != 4502) {
          return 3;
        }
        void* ended = nullptr;
        if (pthread_join(thread, &ended) != 0 || call.result != 40 || ended != PTHREAD_CANCELED) {
          return 4;
        }
        const auto again = [&] { return QRImage("cancelled", 'M', after.c_str()); };
        return again() == 1 && qrtest::RunInChild(again, 5) == 1 ? 0 : 5;
      },
      30);
  EXPECT_EQ(code, 0) << "-1: hung; below -1000: ended by a signal";
}

// The fork handlers leave with the library: after a second copy of it is
// loaded, called and unloaded, fork must not jump into the unmapped code.
TEST(Concurrency, ForkAfterTheLibraryIsUnloaded) {
  void* library = dlopen(QRIMAGE_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Function = int (*)(const char*, int, const char*);
  const auto call = reinterpret_cast<Function>(dlsym(library, "QRImage"));
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call("loaded", 'M', qrtest::ScratchPath("loaded.bmp").c_str()), 1);
  ASSERT_EQ(dlclose(library), 0);
  if (dlopen(QRIMAGE_SHARED_LIBRARY, RTLD_NOW | RTLD_NOLOAD) != nullptr) {
    GTEST_SKIP() << "the library stays loaded after dlclose";
  }
  EXPECT_EQ(qrtest::RunInChild([] { return 7; }, 1), 7);
}

}  // namespace
