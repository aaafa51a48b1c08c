// What the tool does with one text, in single and batch runs alike: check
// it, encode it and render the picture.
#ifndef QRIMAGE_TOOL_JOB_H
#define QRIMAGE_TOOL_JOB_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "image_formats.h"
#include "tool_core/text.h"

namespace qrtool {

// A file or standard input is read up to this many bytes; more is far past
// every level's capacity, and /dev/zero-like inputs must not run forever.
constexpr std::size_t kMaxInputBytes = 1 << 20;

// Pixels per module without -s or --size: enough for most readers.
inline constexpr int kDefaultScale = 4;

// The quiet zone of a Micro QR symbol without -m, in modules.
inline constexpr int kMicroMargin = 2;

// -v's least version for Micro QR without -v (M1 only when asked for), and
// --mask's value for the evaluated mask.
inline constexpr int kMicroDefaultVersion = 2;
inline constexpr int kEvaluatedMask = -1;

// --size: the side of the picture, quiet zone included, in points or in
// pixels (one of them is above 0).
struct PictureLength {
  double points = 0;
  double pixels = 0;
};

// How the text's characters become bytes in the symbol.
using qrimage::Charset;

struct Job {
  int level = 1;              // index into the level letters: M; the least with boost
  bool latin1 = false;        // --latin1: ISO-8859-1 or refuse
  int minVersion = 1;         // -v: the smallest version the symbol may have
  bool eci = false;           // --eci: the text as UTF-8 behind an ECI designator
  bool bytes = false;         // --bytes: one byte segment, the level as given
  bool boost = true;          // the highest level that keeps the version
  bool strict = false;        // --strict: exactly version minVersion
  bool split = false;         // --split: a structured-append sequence when needed
  bool batch = false;         // one text of --batch, which --split does not serve
  bool micro = false;         // --micro or -v M1 to M4: a Micro QR symbol, versions 1 to 4
  int mask = kEvaluatedMask;  // --mask: 0 to 7 (Micro QR 0 to 3)
  ImageType type = ImageType::kBmp;
  ImageOptions image;
  std::optional<PictureLength> size;  // --size
  bool preview = false;               // also draw the symbol in half blocks
  bool previewColours = false;        // ... with the terminal's colour codes
};

// One symbol drawn: its picture file and its preview.
struct Picture {
  int version = 0;
  int size = 0;  // modules a side
  int mask = 0;  // as written
  std::string file;
  std::string preview;  // the half-block drawing, when asked for
};

struct Result {
  std::size_t textBytes = 0;  // after any conversion
  Charset charset = Charset::kAsGiven;
  std::string modes;              // "numeric+byte": the segment modes used
  int level = 0;                  // as written, at least the job's; M1 (detection only): -1
  ImageOptions image;             // as drawn: the scale --size chose
  std::vector<Picture> pictures;  // more than one only with --split
};

// Checks and encodes `text` (converted to ISO-8859-1 with --latin1, a
// UTF-8 byte-order mark dropped) and renders it. Returns kOk, or an exit
// status with `error` set to the message.
int Produce(const std::string& text, const Job& job, Result& result, std::string& error);

// "the text is 3000 bytes in UTF-8; behind its ECI header, level M holds at
// most 2330 bytes of it (level L holds it); --split would write it as 2
// symbols", for the job's character set and modes.
std::string TooLongMessage(const std::string& text, const Job& job, bool eci);

// "version 3" or "Micro QR M3": the symbol of `modules` modules a side.
std::string SymbolName(int modules);

}  // namespace qrtool

#endif
