// libFuzzer target: arbitrary bytes as level and text. Every call must end
// in a documented result, and a successful one must leave a symbol and a
// file that the symbol checker (tests/symbol_checker.h) accepts.
//
// Input: byte 0 is the low byte of the level argument, byte 1 its next
// byte (which must be ignored), the rest is the text up to its first NUL.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/version_select.h"
#include "qrimage.h"
#include "symbol_checker.h"
#include "test_util.h"

namespace {

const std::string& OutputPath() {
  static const std::string path = "/tmp/qrimage-fuzz-" + std::to_string(getpid()) + ".bmp";
  return path;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  const int levelArgument = bytes[0] | bytes[1] << 8;
  const std::string text(reinterpret_cast<const char*>(bytes + 2),
                         strnlen(reinterpret_cast<const char*>(bytes + 2), size - 2));
  const std::string& path = OutputPath();
  unlink(path.c_str());

  const int result = QRImage(text.c_str(), levelArgument, path.c_str());

  const char* letters = qrimage::kLevelLetters;
  const char* letter = static_cast<const char*>(std::memchr(letters, bytes[0], 4));
  const int level = letter != nullptr ? static_cast<int>(letter - letters) : -1;
  if (level < 0 || static_cast<int>(text.size()) > qrtest::ByteCapacity(40, level)) {
    Check(result == QRIMAGE_ERROR_INPUT, "input error for a bad level or a long text");
    Check(access(path.c_str(), F_OK) != 0, "no file after an input error");
    return 0;
  }
  const std::string broken = qrtest::CheckSymbol(text, level, result, qrtest::ReadFile(path));
  Check(broken.empty(), broken.c_str());
  unlink(path.c_str());
  return 0;
}
