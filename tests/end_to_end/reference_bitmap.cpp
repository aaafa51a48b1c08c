// Writes bitmaps with the library's QRImage: the reference for the tool's
// files and, one call per run, for a process that has made no other call.
// Prints each call's result on its own line.
// usage: reference_bitmap LEVEL PATH TEXT [PATH TEXT]...
#include <cstdio>

#include "qrimage.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc % 2 != 0 || argv[1][0] == '\0') {
    std::fputs("usage: reference_bitmap LEVEL PATH TEXT [PATH TEXT]...\n", stderr);
    return 2;
  }
  for (int i = 2; i + 1 < argc; i += 2) {
    std::printf("%d\n", QRImage(argv[i + 1], argv[1][0], argv[i]));
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
