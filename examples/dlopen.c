/* A C host that loads the qrimage library at run time and looks QRImage up
 * by name, as hosts in other languages do: no header and no link step.
 *
 *   cc dlopen.c -ldl -o dlopen_example && ./dlopen_example ./libqrimage.so.1 hello.bmp
 */
#include <stdio.h>
#include <string.h>

#ifdef _WIN32
#include <windows.h>
/* 32-bit DLL: stdcall, exported as "_QRImage@12". 64-bit: "QRImage"
 * (there is only one calling convention, and __stdcall is ignored). */
typedef int(__stdcall* QRImageFunction)(const char* text, int level, const char* path);
#ifdef _WIN64
#define QRIMAGE_EXPORT_NAME "QRImage"
#else
#define QRIMAGE_EXPORT_NAME "_QRImage@12"
#endif
#define DEFAULT_LIBRARY "qrimage.dll"
#else
#include <dlfcn.h>
typedef int (*QRImageFunction)(const char* text, int level, const char* path);
#define QRIMAGE_EXPORT_NAME "QRImage"
#define DEFAULT_LIBRARY "libqrimage.so.1"
#endif

static QRImageFunction LoadQRImage(const char* library) {
#ifdef _WIN32
  HMODULE module = LoadLibraryA(library);
  if (module == NULL) {
    fprintf(stderr, "cannot load %s (error %lu)\n", library, GetLastError());
    return NULL;
  }
  QRImageFunction function = (QRImageFunction)(void*)GetProcAddress(module, QRIMAGE_EXPORT_NAME);
#else
  void* module = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (module == NULL) {
    fprintf(stderr, "cannot load %s: %s\n", library, dlerror());
    return NULL;
  }
  QRImageFunction function;
  /* dlsym returns an object pointer; copy it into the function pointer. */
  void* symbol = dlsym(module, QRIMAGE_EXPORT_NAME);
  memcpy(&function, &symbol, sizeof function);
#endif
  if (function == NULL) {
    fprintf(stderr, "%s has no function %s\n", library, QRIMAGE_EXPORT_NAME);
  }
  return function;
}

int main(int argc, char** argv) {
  const char* library = argc > 1 ? argv[1] : DEFAULT_LIBRARY;
  const char* path = argc > 2 ? argv[2] : "dlopen_example.bmp";

  QRImageFunction qrImage = LoadQRImage(library);
  if (qrImage == NULL) {
    return 1;
  }

  /* 1..40: the version written; -1 bad level or text too long, -2 error
   * correction failure, -3 the file could not be written. */
  int version = qrImage("Hello from a C program that loads the library itself", 'M', path);
  if (version < 1 || version > 40) {
    fprintf(stderr, "QRImage returned %d\n", version);
    return 1;
  }

  /* The file is a (4 * version + 25) pixel square, 1 bit per pixel, rows
   * padded to 4 bytes, after 62 bytes of headers. */
  long side = 4L * version + 25;
  long expected = 62 + side * ((side + 31) / 32 * 4);
  unsigned char signature[2] = {0, 0};
  FILE* file = fopen(path, "rb");
  long size = -1;
  if (file != NULL) {
    size_t got = fread(signature, 1, 2, file);
    fseek(file, 0, SEEK_END);
    size = got == 2 ? ftell(file) : -1;
    fclose(file);
  }
  if (memcmp(signature, "BM", 2) != 0 || size != expected) {
    fprintf(stderr, "%s: %ld bytes, expected a bitmap of %ld\n", path, size, expected);
    return 1;
  }
  printf("%s: version %d, %ld bytes\n", path, version, size);

  if (qrImage("text", 'm', path) != -1) { /* the level letter is upper case only */
    fprintf(stderr, "a lower-case level was accepted\n");
    return 1;
  }
  return 0;
}
