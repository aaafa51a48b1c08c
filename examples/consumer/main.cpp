// A C++ program built against an installed qrimage, through CMake's
// find_package or through pkg-config.
#include <cstdio>

#include <qrimage.h>

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "consumer.bmp";
  const int version = QRImage("Hello, installed", 'L', path);
  if (version < QRIMAGE_VERSION_MIN) {
    std::fprintf(stderr, "QRImage returned %d\n", version);
    return 1;
  }
  std::printf("version %d\n", version);
  return 0;
}
