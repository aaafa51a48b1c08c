// What the tool does with one text, in single and batch runs alike: check
// it, encode it and render the picture.
#ifndef QRIMAGE_TOOL_JOB_H
#define QRIMAGE_TOOL_JOB_H

#include <cstddef>
#include <string>

#include "image_formats.h"

namespace qrtool {

// A file or standard input is read up to this many bytes; more is far past
// every level's capacity, and /dev/zero-like inputs must not run forever.
constexpr std::size_t kMaxInputBytes = 1 << 20;

struct Job {
  int level = 1;  // index into the level letters: M
  bool latin1 = false;
  int minVersion = 1;  // -v: the smallest version the symbol may have
  bool eci = false;    // --eci: the text as UTF-8 behind an ECI designator
  ImageType type = ImageType::kBmp;
  ImageOptions image;
  bool preview = false;         // also draw the symbol in half blocks
  bool previewColours = false;  // ... with the terminal's colour codes
};

struct Result {
  int version = 0;
  std::size_t textBytes = 0;  // after any conversion
  std::string file;           // the picture
  std::string preview;        // the half-block drawing, when asked for
};

// Checks and encodes `text` (converted in place by --latin1) and renders
// it. Returns kOk, or an exit status with `error` set to the message.
int Produce(std::string& text, const Job& job, Result& result, std::string& error);

// "the text is 3000 bytes; level M holds at most 2331 bytes (level L holds
// 2953)", with the capacities the job's ECI header leaves.
std::string TooLongMessage(std::size_t length, const Job& job);

}  // namespace qrtool

#endif
