#include "report.h"

#include <cstdio>
#include <cstdlib>
#include <new>

namespace qrtool {
namespace {

void* reserve = nullptr;

void GiveUpReserve() {
  ReleaseMemoryReserve();
  throw std::bad_alloc();
}

// The control character at the start of `bytes` (UTF-8) that is more than
// one byte: a C1 control, or a bidirectional control, which would reorder
// what a terminal shows around it. Its code point, or 0.
char32_t WideControl(std::string_view bytes) {
  const auto at = [&](std::size_t i) {
    return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u;
  };
  if (at(0) == 0xC2 && at(1) >= 0x80 && at(1) <= 0x9F) {
    return at(1);  // U+0080 to U+009F
  }
  if (at(0) == 0xD8 && at(1) == 0x9C) {
    return 0x061C;  // Arabic letter mark
  }
  if (at(0) != 0xE2 || (at(1) != 0x80 && at(1) != 0x81)) {
    return 0;
  }
  const char32_t code = 0x2000 + ((at(1) & 0x3F) << 6) + (at(2) & 0x3F);
  const bool control = (at(2) & 0xC0) == 0x80 &&
                       ((code >= 0x200E && code <= 0x200F) || (code >= 0x202A && code <= 0x202E) ||
                        (code >= 0x2066 && code <= 0x2069));
  return control ? code : 0;
}

}  // namespace

std::string Printable(std::string_view name, bool quoted) {
  std::string text = quoted ? "'" : "";
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const char* escape = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
    const char32_t wide = WideControl(name.substr(i));
    if (escape != nullptr) {
      text += escape;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      text += "\\x" + Hex(static_cast<unsigned char>(c), 2, false);
    } else if (wide != 0) {
      text += "\\u" + Hex(wide, 4, false);
      i += wide < 0x800 ? 1 : 2;
    } else {
      text += c;
    }
  }
  return quoted ? text + "'" : text;
}

void ReleaseMemoryReserve() {
  std::free(reserve);
  reserve = nullptr;
}

bool HoldMemoryReserve() {
  if (reserve == nullptr) {
    reserve = std::malloc(16 << 10);
  }
  std::set_new_handler(GiveUpReserve);
  return reserve != nullptr;
}

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "qrimage: %s\n", message.c_str());
  return status;
}

int UsageError(const std::string& message, const char* possibleText) {
  Fail(kUsage, message);
  if (possibleText != nullptr) {
    std::fprintf(stderr,
                 "qrimage: to encode a text that starts with '-', put '--' before it: "
                 "qrimage [OPTIONS] -- %s\n",
                 Printable(possibleText, true).c_str());
  }
  std::fputs("Try 'qrimage --help' for more information.\n", stderr);
  return kUsage;
}

}  // namespace qrtool
