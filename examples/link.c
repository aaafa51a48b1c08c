/* A C host linked against the qrimage shared library: writes a symbol,
 * checks the bitmap and shows the error results.
 *
 *   cc link.c -lqrimage -o link_example && ./link_example hello.bmp
 *
 * The argument is the bitmap to write. The library is found by name when
 * the program starts: in a system prefix after ldconfig, through the
 * -Wl,-rpath folder recorded at link time, or through LD_LIBRARY_PATH.
 */
#include <stdio.h>
#include <string.h>

#include "qrimage.h"

/* Checks the file QRImage wrote for `version`: signature, width and size. */
static int CheckBitmap(const char* path, int version) {
  unsigned char header[62];
  FILE* file = fopen(path, "rb");
  if (file == NULL) {
    fprintf(stderr, "%s was not written\n", path);
    return 0;
  }
  size_t got = fread(header, 1, sizeof header, file);
  fseek(file, 0, SEEK_END);
  long size = ftell(file);
  fclose(file);

  long side = 4L * version + 25; /* modules plus the 4-module quiet zone on each side */
  long rowBytes = (side + 31) / 32 * 4;
  long width = header[18] | header[19] << 8 | (long)header[20] << 16 | (long)header[21] << 24;
  if (got != sizeof header || memcmp(header, "BM", 2) != 0 || width != side ||
      size != 62 + side * rowBytes) {
    fprintf(stderr, "%s: unexpected bitmap (width %ld, %ld bytes)\n", path, width, size);
    return 0;
  }
  printf("%s: version %d, %ld x %ld pixels, %ld bytes\n", path, version, side, side, size);
  return 1;
}

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "link_example.bmp";

  int version = QRImage("Hello from a linked C program", 'Q', path);
  if (version < QRIMAGE_VERSION_MIN || !CheckBitmap(path, version)) {
    fprintf(stderr, "QRImage returned %d\n", version);
    return 1;
  }

  /* Failures come back as negative codes. */
  if (QRImage("text", 'X', path) != QRIMAGE_ERROR_INPUT ||
      QRImage("text", 'L', "no/such/folder/qr.bmp") != QRIMAGE_ERROR_FILE) {
    fprintf(stderr, "unexpected result for a bad level or a missing folder\n");
    return 1;
  }
  return 0;
}
