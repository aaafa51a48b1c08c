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

}  // namespace

std::string Printable(std::string_view name, bool quoted) {
  std::string text = quoted ? "'" : "";
  for (const char c : name) {
    const char* escape = c == '\n' ? "\\n" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : nullptr;
    if (escape != nullptr) {
      text += escape;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      text += "\\x" + Hex(static_cast<unsigned char>(c), 2, false);
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
                 "qrimage [OPTIONS] -- '%s'\n",
                 possibleText);
  }
  std::fputs("Try 'qrimage --help' for more information.\n", stderr);
  return kUsage;
}

}  // namespace qrtool
