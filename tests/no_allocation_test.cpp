// QRImage allocates nothing: this binary replaces operator new and delete
// and the C allocation functions with counting ones, and counts around
// calls of several versions and levels, failed calls included. (Glibc
// only: the replacements hand the work to its __libc_ functions.)
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

#include "qrimage.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* p);
}

namespace {
bool counting = false;
int allocations = 0;

void Count() {
  if (counting) {
    ++allocations;
  }
}
}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  Count();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  Count();
  return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
  Count();
  return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, std::size_t alignment, std::size_t size) {
  Count();
  *out = __libc_memalign(alignment, size);
  return *out != nullptr ? 0 : ENOMEM;
}
void free(void* p) {
  __libc_free(p);
}
}

void* operator new(std::size_t size) {
  Count();
  if (void* p = __libc_malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void* p) noexcept {
  __libc_free(p);
}
void operator delete[](void* p) noexcept {
  __libc_free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  __libc_free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  __libc_free(p);
}

namespace {

// Allocations made by QRImage(text, level, path), the call's result in
// `result`. The arguments are prepared before counting starts.
int AllocationsDuring(const std::string& text, char level, const std::string& path, int& result) {
  allocations = 0;
  counting = true;
  result = QRImage(text.c_str(), level, path.c_str());
  counting = false;
  return allocations;
}

TEST(NoAllocation, CallsOfEverySizeAndFailures) {
  const std::string path = "/tmp/qrimage-no-allocation-" + std::to_string(getpid()) + ".bmp";
  // The counter itself works.
  allocations = 0;
  counting = true;
  void* probe = std::malloc(16);
  counting = false;
  std::free(probe);
  ASSERT_EQ(allocations, 1);

  struct Case {
    int length;
    char level;
    int version;
  } cases[] = {{10, 'M', 1}, {2953, 'L', 40}, {100, 'H', 10}, {1273, 'H', 40}, {600, 'Q', 23}};
  int result = 0;
  // The first call in the process also builds the field tables.
  for (const Case& c : cases) {
    EXPECT_EQ(AllocationsDuring(std::string(c.length, '\xA7'), c.level, path, result), 0);
    EXPECT_EQ(result, c.version);
  }
  EXPECT_EQ(AllocationsDuring("text", 'x', path, result), 0);
  EXPECT_EQ(result, QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(AllocationsDuring(std::string(2954, 'a'), 'L', path, result), 0);
  EXPECT_EQ(result, QRIMAGE_ERROR_INPUT);
  EXPECT_EQ(AllocationsDuring("text", 'L', "/nonexistent-folder/x.bmp", result), 0);
  EXPECT_EQ(result, QRIMAGE_ERROR_FILE);
  unlink(path.c_str());
}

}  // namespace
