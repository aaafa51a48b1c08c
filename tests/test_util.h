#ifndef QRIMAGE_TESTS_TEST_UTIL_H
#define QRIMAGE_TESTS_TEST_UTIL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qrtest {

using Bytes = std::vector<std::uint8_t>;

// A folder of this test process's own, removed at exit.
const std::string& ScratchDir();
// A fresh path inside ScratchDir().
std::string ScratchPath(const std::string& name);

Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

// Runs QRImage(text, level, path) as the one call of a new process (a host
// program of the shared library); returns the file it wrote (empty if none).
Bytes EncodeInFreshProcess(const std::string& text, char level);

// One QRImage call, for tests of single pipeline steps: what a first call
// sets up (the field tables) is then there, built by the library itself.
void CallQRImageOnce();

// Whether a program is on PATH.
bool HaveTool(const char* name);
// ImageMagick's command: `magick` from version 7 on, `convert` before; ""
// when neither is on PATH.
const std::string& ImageMagick();
// Standard output of a shell command.
std::string CommandOutput(const std::string& command);
// The payload zbarimg reads from an image file, as raw bytes (no
// character-set conversion); empty when it finds none. With `upscale` > 1
// every pixel is first enlarged to upscale x upscale (ImageMagick).
std::string DecodeWithZbar(const std::string& image, int upscale = 1);
// The payload ZXingReader reads from an image file, as raw bytes.
std::string DecodeWithZxing(const std::string& image);

// Text of `length` bytes mixing printable ASCII and bytes 0x80..0xFF, never 0.
std::string MixedText(int length, unsigned seed);

// Descriptors this process has open.
int OpenDescriptors();

// Runs `body` in a forked child and returns its exit code, -1000 minus the
// signal that ended it, or -1 when `seconds` (if not 0) passed first: the
// child is then killed.
int RunInChild(const std::function<int()>& body, int seconds = 0);
// Runs program argv[0] in such a child, with `env` added to this process's
// environment less its GTEST_ settings (a test program then runs what argv
// selects), standard output to file `output` if given.
int RunProgram(const std::vector<std::string>& argv, const std::string& output = "",
               const std::vector<std::string>& env = {});

// The `size`-byte little-endian number at byte `at` of `bytes`.
std::uint32_t LittleEndian(const Bytes& bytes, std::size_t at, int size);

// The pixels of a one-bit bitmap file, row 0 at the top.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<bool> white;  // row by row
  bool White(int x, int y) const { return white[y * width + x]; }
};
// Reads an uncompressed one-bit file with bottom-up rows; width and height
// stay 0 when the file is not one or is cut short.
Bitmap ReadBitmap(const Bytes& file);

}  // namespace qrtest

#endif
