#ifndef QRIMAGE_TESTS_TEST_UTIL_H
#define QRIMAGE_TESTS_TEST_UTIL_H

#include <cstdint>
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

// Runs QRImage(text, level, path) in a child process that has made no
// other call, and returns the file it wrote (empty if none).
Bytes EncodeInFreshProcess(const std::string& text, char level);

// Builds the field tables the way the first QRImage call does, for tests
// that run single pipeline steps.
void EnsureGaloisTables();

// Whether a program is on PATH.
bool HaveTool(const char* name);
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

}  // namespace qrtest

#endif
