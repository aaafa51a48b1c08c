// qrimage: writes a text as a QR Code bitmap from the shell.
#include <cstdio>
#include <cstring>

#include "qrimage.h"

namespace {

const char kUsage[] = "usage: qrimage [-l L|M|Q|H] [-o FILE] TEXT\n";

int Fail(const char* message) {
  std::fprintf(stderr, "qrimage: %s\n", message);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  char level = 'M';
  const char* output = "qr.bmp";
  const char* text = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if ((std::strcmp(arg, "-l") == 0 || std::strcmp(arg, "-o") == 0) && i + 1 < argc) {
      const char* value = argv[++i];
      if (arg[1] == 'o') {
        output = value;
      } else if (std::strlen(value) == 1) {
        level = value[0];
      } else {
        return Fail("the level must be one of L, M, Q, H");
      }
    } else if (text == nullptr && (arg[0] != '-' || arg[1] == '\0')) {
      text = arg;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  if (text == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  const int result = QRImage(text, level, output);
  switch (result) {
    case QRIMAGE_ERROR_INPUT:
      return Fail("the level must be one of L, M, Q, H, and the text must fit version 40");
    case QRIMAGE_ERROR_ENCODING:
      return Fail("error correction failed");
    case QRIMAGE_ERROR_FILE:
      return Fail("cannot write the output file");
    default:
      std::printf("version %d\n", result);
      return 0;
  }
}
