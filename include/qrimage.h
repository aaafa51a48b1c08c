/*
 * qrimage: text in, QR Code bitmap out.
 *
 *   int version = QRImage("HELLO WORLD", 'M', "hello.bmp");
 *
 * QRImage encodes the whole text as one byte-mode segment (raw bytes; no
 * character set is assumed or converted), picks the smallest
 * symbol version (1 to 40) that holds it at the requested error-correction
 * level, chooses the data mask by the library's penalty rules and writes the
 * symbol to a bitmap file. The mask choice is the library's own, not the
 * standard's scoring: any of the eight masks decodes, and a given text and
 * level always get the same one.
 *
 * The file is an uncompressed Windows bitmap (BMP) of 1 bit per pixel.
 * Each module is a single pixel and the symbol has a 4-module white border,
 * palette entry 0 black and entry 1 white, rows stored bottom-up, 2834
 * pixels per metre. A version V symbol is (4V + 17) modules wide, so the
 * image is (4V + 25) pixels square: 29 x 29 for version 1, 185 x 185 for
 * version 40. Hosts that need larger pictures scale the image themselves.
 */
#ifndef QRIMAGE_H
#define QRIMAGE_H

/* Calling convention: stdcall on 32-bit Windows (the DLL exports the
 * decorated name _QRImage@12), the platform's default everywhere else. */
#if defined(_WIN32) && !defined(_WIN64)
#define QRIMAGE_CALL __stdcall
#else
#define QRIMAGE_CALL
#endif

/* Symbol visibility: the shared library exports QRImage and nothing else.
 * On Windows the DLL's export table comes from its .def file; a host that
 * links the import library gets a dllimport declaration, one that links the
 * static library defines QRIMAGE_STATIC first. */
#if defined(_WIN32)
#if defined(QRIMAGE_STATIC)
#define QRIMAGE_API
#else
#define QRIMAGE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QRIMAGE_API __attribute__((visibility("default")))
#else
#define QRIMAGE_API
#endif

/* QRImage throws nothing: C++ hosts see it declared noexcept. */
#if defined(__cplusplus)
#define QRIMAGE_NOEXCEPT noexcept
#else
#define QRIMAGE_NOEXCEPT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of QRImage other than a version number 1..40. */
enum {
  /* The level is not one of 'L', 'M', 'Q', 'H', the text is longer than
   * version 40 holds at that level (2953, 2331, 1663 or 1273 bytes for
   * L, M, Q, H), or the text pointer is null. No file is touched. */
  QRIMAGE_ERROR_INPUT = -1,
  /* The error-correction step failed, or the system refused the lock that
   * keeps calls apart. Neither happens with the library's own tables and a
   * working system; the code is kept so hosts can tell it apart. No file
   * is touched. */
  QRIMAGE_ERROR_ENCODING = -2,
  /* The output file could not be written: the path is null, empty or 260
   * bytes or longer (on Windows: 260 characters or more after conversion
   * from the ANSI code page), its folder is missing, permission is denied,
   * on Windows another program holds the file open for writing, on POSIX
   * a FIFO has no reader, or a write or close failed (a full disk or a
   * file-size limit, say). A regular file that could not be written in
   * full is emptied and its name removed again, so a failure never leaves
   * a partial bitmap. The name is kept (and the file left empty) when it is
   * a symbolic link or the file has other names; a device or FIFO at the
   * path is left alone. */
  QRIMAGE_ERROR_FILE = -3
};

/* Smallest and largest symbol version that QRImage can return. */
enum { QRIMAGE_VERSION_MIN = 1, QRIMAGE_VERSION_MAX = 40 };

/*
 * Encodes `text` and writes the symbol as a bitmap file at `path`.
 *
 * text   NUL-terminated string of 8-bit bytes; the first NUL ends it, so a
 *        byte 0x00 can never be part of the data.
 * level  error-correction level as a character: 'L' (about 7 % of the
 *        symbol may be damaged), 'M' (15 %), 'Q' (25 %) or 'H' (30 %).
 *        Only the low 8 bits are read, and the letter must be upper case.
 * path   NUL-terminated 8-bit file path. On POSIX the bytes are used as
 *        they are; on Windows they are read in the calling thread's ANSI
 *        code page. An existing file is replaced.
 *
 * Returns the symbol version written (1..40), or one of the negative
 * QRIMAGE_ERROR_* codes above. A failing call changes no file, except that
 * a write failure after the file was opened removes that file.
 *
 * Calls are serialised inside the library: any number of host threads may
 * call QRImage at once, and each call writes exactly the file it would
 * write alone. On POSIX a process may fork while another thread is inside
 * a call; the child can call QRImage. A thread cancelled during a call
 * finishes it; the cancellation acts at the thread's next cancellation
 * point after QRImage returns. The library holds no resources between
 * calls. The output file is open only during the call: close-on-exec on
 * POSIX; on Windows its handle is inheritable, so a process that another
 * host thread starts meanwhile inherits it.
 */
QRIMAGE_API int QRIMAGE_CALL QRImage(const char* text, int level,
                                     const char* path) QRIMAGE_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* QRIMAGE_H */
