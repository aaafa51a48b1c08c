// libFuzzer target for the tool's encoder: arbitrary bytes as a request and
// a text. Planning must never crash, and every plan it accepts must write
// data codewords that a reader of this file's own takes back to the text,
// with as many bits before the terminator as the plan counts and no more
// than the symbol holds (its data codewords counted by the symbol checker).
//
// Input: byte 0 is the level (bits 0-1), boost (bit 2), strict (bit 3),
// split (bit 4), the character-set choice (bits 5-6) and in bit 7 whether
// the text is made of Kanji mode's characters; byte 1 the least version
// (1 + byte % 40) and in bit 7 whether a text too long counts the symbols
// of a sequence, and from 0xF0 up a Micro QR request instead, the least
// version 1 + byte % 4, without split and without the UTF-8 header (which
// Micro QR symbols cannot carry; also written with mask byte 1 % 5 - 1,
// the evaluated one first); the rest is the text. Made of Kanji mode's characters, it
// is in UTF-8 with each byte from 0x80 up and the next naming one
// character of the Kanji table, so that the default choice may go to
// Shift JIS.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "symbol_checker.h"
#include "tool_core/micro/micro_symbol.h"
#include "tool_core/plan.h"
#include "tool_core/segments/kanji.h"

namespace {

using qrimage::PlanFault;
using qrimage::SymbolPlan;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

// The data codewords' bits, most significant first.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, int codewords) : data(data), size(8 * codewords) {}
  int Left() const { return size - at; }
  int Position() const { return at; }
  std::uint32_t Take(int count) {
    Check(count <= Left(), "a field runs past the data codewords");
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++at) {
      value = value << 1 | (data[at / 8] >> (7 - at % 8) & 1);
    }
    return value;
  }

 private:
  const std::uint8_t* data;
  int size;
  int at = 0;
};

// Count widths of numeric, alphanumeric, byte and Kanji segments in
// versions 1-9, 10-26 and 27-40.
int CountWidth(int mode, int version) {
  static constexpr int kWidths[4][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}, {8, 10, 12}};
  return kWidths[mode][version <= 9 ? 0 : version <= 26 ? 1 : 2];
}

// One segment after its mode indicator, with a count of `countBits`: its
// characters onto `text`.
void ReadSegment(BitReader& bits, int mode, int countBits, std::string& text) {
  static constexpr std::string_view kAlphanumeric = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
  const int n = static_cast<int>(kAlphanumeric.size());
  for (int left = static_cast<int>(bits.Take(countBits)); left > 0;) {
    if (mode == 0) {
      const int digits = std::min(left, 3);
      const std::uint32_t value = bits.Take(3 * digits + 1);
      Check(value < (digits == 3 ? 1000u : digits == 2 ? 100u : 10u), "a numeric group too large");
      const std::string group = std::to_string(value);
      text += std::string(digits - group.size(), '0') + group;
      left -= digits;
    } else if (mode == 3) {
      // 13 bits: the Shift JIS code less 0x8140 (0xC140 from 0xE040 on),
      // its high byte times 0xC0 plus its low byte.
      const std::uint32_t value = bits.Take(13);
      const std::uint32_t packed = (value / 0xC0) << 8 | value % 0xC0;
      const std::uint32_t code = packed + (packed < 0x1F00 ? 0x8140 : 0xC140);
      Check(qrimage::IsKanjiCode(code >> 8, code & 0xFF), "a Kanji value");
      text += static_cast<char>(code >> 8);
      text += static_cast<char>(code & 0xFF);
      left -= 1;
    } else if (mode == 1 && left >= 2) {
      const std::uint32_t value = bits.Take(11);
      Check(value < static_cast<std::uint32_t>(n * n), "an alphanumeric pair too large");
      text += kAlphanumeric[value / n];
      text += kAlphanumeric[value % n];
      left -= 2;
    } else {
      const std::uint32_t value = bits.Take(mode == 1 ? 6 : 8);
      Check(mode == 2 || value < static_cast<std::uint32_t>(n), "an alphanumeric value too large");
      text += mode == 1 ? kAlphanumeric[value] : static_cast<char>(value);
      left -= 1;
    }
  }
}

// Reads the headers and segments of one symbol's data codewords onto
// `text`, checks the terminator and padding, and returns the bits before
// the terminator.
int ReadStream(const std::uint8_t* data, int codewords, const SymbolPlan& plan, int parity,
               std::string& text) {
  BitReader bits(data, codewords);
  int end = 0;
  bool sequence = false, eci = false;
  for (int mode; bits.Left() >= 4 && (mode = static_cast<int>(bits.Take(4))) != 0;) {
    if (mode == 0b0011) {
      Check(bits.Position() == 4 && plan.headers.sequence, "a sequence header unplanned");
      Check(static_cast<int>(bits.Take(4)) == plan.headers.sequence->position &&
                static_cast<int>(bits.Take(4)) == plan.headers.sequence->count - 1 &&
                static_cast<int>(bits.Take(8)) == parity,
            "the sequence header");
      sequence = true;
    } else if (mode == 0b0111) {
      Check(plan.headers.eci && bits.Take(8) == 26, "the ECI header");
      eci = true;
    } else {
      Check(mode == 0b0001 || mode == 0b0010 || mode == 0b0100 || mode == 0b1000,
            "a mode indicator");
      Check(mode != 0b1000 || !plan.headers.eci, "a Kanji segment behind the ECI header");
      const int index = mode == 0b0001 ? 0 : mode == 0b0010 ? 1 : mode == 0b0100 ? 2 : 3;
      ReadSegment(bits, index, CountWidth(index, plan.version), text);
    }
    end = bits.Position();
  }
  Check(sequence == plan.headers.sequence.has_value() && eci == plan.headers.eci, "the headers");
  // Zero bits to the codeword's end, then the pad codewords in turn.
  const int padFrom = (std::min(end + 4, 8 * codewords) + 7) / 8;
  for (int bit = end; bit < 8 * padFrom; ++bit) {
    Check((data[bit / 8] >> (7 - bit % 8) & 1) == 0, "the terminator and the zero bits");
  }
  for (int i = padFrom; i < codewords; ++i) {
    Check(data[i] == ((i - padFrom) % 2 ? 0x11 : 0xEC), "the pad codewords");
  }
  return end;
}

// Whether the `count` bits of `data` from bit `from` on are all zero.
bool Zeros(const std::uint8_t* data, int from, int count) {
  for (int bit = from; bit < from + count; ++bit) {
    if ((data[bit / 8] >> (7 - bit % 8) & 1) != 0) {
      return false;
    }
  }
  return true;
}

// A Micro QR symbol's `dataBits` bits of data: segments with a mode
// indicator of version - 1 bits (0 numeric to 3 Kanji) and the count
// widths below, up to a terminator of 2 * version + 1 zero bits or the
// end; then zero bits to the codeword's end and pad codewords, a last
// 4-bit codeword zero. Returns the bits before the terminator. An empty
// text's one empty numeric segment, all zero, reads as the terminator:
// its `empty` bits are taken first.
int ReadMicroStream(const std::uint8_t* data, int dataBits, int version, int empty,
                    std::string& text) {
  static constexpr int kWidths[4][4] = {{3, 4, 5, 6}, {0, 3, 4, 5}, {0, 0, 4, 5}, {0, 0, 3, 4}};
  const int terminator = 2 * version + 1;
  BitReader bits(data, (dataBits + 7) / 8);
  Check(bits.Take(empty) == 0, "the empty segment");
  while (dataBits - bits.Position() >= terminator && !Zeros(data, bits.Position(), terminator)) {
    const int mode = static_cast<int>(bits.Take(version - 1));
    Check(mode < 4 && kWidths[mode][version - 1] != 0, "a Micro QR mode indicator");
    ReadSegment(bits, mode, kWidths[mode][version - 1], text);
    Check(bits.Position() <= dataBits, "a Micro QR segment past the data bits");
  }
  const int end = bits.Position();
  const int padFrom = std::min((std::min(end + terminator, dataBits) + 7) / 8 * 8, dataBits);
  Check(Zeros(data, end, padFrom - end), "the Micro QR terminator and zero bits");
  int at = padFrom;
  for (int k = 0; at + 8 <= dataBits; at += 8, k ^= 1) {
    Check(data[at / 8] == (k != 0 ? 0x11 : 0xEC), "the Micro QR pad codewords");
  }
  Check(Zeros(data, at, dataBits - at), "the Micro QR last codeword");
  return end;
}

// A Micro QR plan: one symbol of M1 to M4 whose written data reads back
// to the text with the bits the plan counts; it is then drawn with `mask`.
void CheckMicroPlan(const qrimage::TextPlan& plan, const qrimage::PlanRequest& request, int mask) {
  Check(plan.symbols.size() == 1, "one Micro QR symbol");
  const SymbolPlan& symbol = plan.symbols[0];
  Check(symbol.version >= request.minVersion && symbol.version <= 4 &&
            (!request.strict || symbol.version == request.minVersion),
        "the Micro QR version");
  Check(symbol.version == 1
            ? symbol.level == qrimage::kMicroDetectionOnly
            : symbol.level >= request.level && (request.boost || symbol.level == request.level),
        "the Micro QR level");
  const std::string& bytes = plan.text.bytes;
  const int dataBits = qrimage::MicroDataBits(symbol.version, symbol.level);
  const std::vector<std::uint8_t> codewords =
      qrimage::MicroCodewords(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                              {symbol.version, symbol.level, symbol.segments, symbol.bits});
  Check(!codewords.empty(), "the planned Micro QR stream is written");
  std::string read;
  const int bits = ReadMicroStream(codewords.data(), dataBits, symbol.version,
                                   bytes.empty() && symbol.segments[0].mode == qrimage::kNumericMode
                                       ? static_cast<int>(symbol.bits)
                                       : 0,
                                   read);
  Check(bits == symbol.bits && bits <= dataBits, "the Micro QR bits counted");
  Check(read == bytes, "the Micro QR text read back");
  static qrimage::Symbol drawn;
  Check(qrimage::EncodePlanned(plan, 0, mask, drawn) == symbol.version &&
            (mask < 0 || drawn.mask == mask) && drawn.size == 2 * symbol.version + 9,
        "the Micro QR symbol drawn");
}

void CheckPlan(const qrimage::TextPlan& plan, const qrimage::PlanRequest& request) {
  const std::string& bytes = plan.text.bytes;
  const int count = static_cast<int>(plan.symbols.size());
  Check(count >= 1 && count <= 16 && (count == 1 || request.split), "the number of symbols");
  int parity = 0;
  for (const char c : bytes) {
    parity ^= static_cast<std::uint8_t>(c);
  }
  std::string read;
  for (const SymbolPlan& symbol : plan.symbols) {
    Check(symbol.version >= request.minVersion && symbol.version <= 40 &&
              (!request.strict || symbol.version == request.minVersion),
          "the version");
    Check(symbol.level == plan.symbols[0].level && symbol.level >= request.level &&
              (request.boost || symbol.level == request.level),
          "the level");
    const int codewords = qrtest::DataCodewords(symbol.version, symbol.level);
    std::uint8_t data[3000];
    Check(qrimage::WriteSegmentStream(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                      symbol.segments, symbol.headers, symbol.version, data,
                                      codewords),
          "the planned stream is written");
    const std::size_t start = read.size();
    Check(!plan.text.WholeUtf8() || start == bytes.size() ||
              !qrimage::ContinuesCharacter(static_cast<std::uint8_t>(bytes[start])),
          "a cut inside a UTF-8 character");
    const int bits = ReadStream(data, codewords, symbol, parity, read);
    Check(bits == symbol.bits && bits <= 8 * codewords, "the bits counted");
  }
  Check(read == bytes, "the text read back");
}

// `data` with each byte from 0x80 up and the next made one character of
// the Kanji table, in UTF-8.
std::string KanjiText(const std::uint8_t* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] < 0x80 || i + 1 == size) {
      text += static_cast<char>(data[i] & 0x7F);
      continue;
    }
    const char32_t c =
        qrimage::kKanjiTable[((data[i] & 0x7F) << 8 | data[i + 1]) % qrimage::kKanjiTableSize]
            .unicode;
    ++i;
    if (c < 0x800) {
      text += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else {
      text += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
               static_cast<char>(0x80 | (c & 0x3F))};
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) {
    return 0;
  }
  qrimage::PlanRequest request;
  request.level = data[0] & 3;
  request.boost = (data[0] & 4) != 0;
  request.strict = (data[0] & 8) != 0;
  request.split = (data[0] & 16) != 0;
  request.charset = static_cast<qrimage::CharsetChoice>(data[0] >> 5 & 3);
  request.minVersion = 1 + data[1] % 40;
  request.countSplit = (data[1] & 0x80) != 0;
  const bool micro = data[1] >= 0xF0;
  if (micro) {
    request.kind = qrimage::SymbolKind::kMicro;
    request.minVersion = 1 + data[1] % 4;
    request.split = false;
    if (request.charset == qrimage::CharsetChoice::kUtf8Eci) {
      request.charset = qrimage::CharsetChoice::kDefault;
    }
  }
  const std::string kanji = (data[0] & 0x80) != 0 ? KanjiText(data + 2, size - 2) : "";
  const std::string_view text =
      (data[0] & 0x80) != 0 ? std::string_view(kanji)
                            : std::string_view(reinterpret_cast<const char*>(data + 2), size - 2);

  const qrimage::TextPlan plan = qrimage::PlanText(text, request);
  const bool utf8Only = request.charset == qrimage::CharsetChoice::kLatin1 ||
                        request.charset == qrimage::CharsetChoice::kUtf8Eci;
  switch (plan.fault) {
    case PlanFault::kNone:
      if (micro) {
        CheckMicroPlan(plan, request, data[1] % 5 - 1);
      } else {
        CheckPlan(plan, request);
      }
      break;
    case PlanFault::kNotAscii:
      Check(micro && request.charset == qrimage::CharsetChoice::kDefault &&
                plan.where.at < text.size() &&
                static_cast<std::uint8_t>(text[plan.where.at]) >= 0x80,
            "a Micro QR text beyond ASCII refused");
      break;
    case PlanFault::kNotUtf8:
    case PlanFault::kNotLatin1:
      Check(utf8Only && plan.where.at < text.size(), "a refused character");
      break;
    case PlanFault::kTooLong:
      // Micro QR: M4 holds any text of up to 5 digits at L, M and Q.
      Check(micro ? request.level == 3 || plan.text.bytes.size() > 5 ||
                        plan.text.bytes.find_first_not_of("0123456789") != std::string::npos
                  : plan.shortfall.held[request.level] < plan.text.bytes.size(),
            "the prefix held");
      break;
    case PlanFault::kNeedsVersion:
      Check(request.strict && !request.split && plan.version > request.minVersion &&
                (!micro || plan.version <= 4),
            "--strict");
      break;
    case PlanFault::kNeedsSymbols:
      Check(request.strict && request.split, "--strict with --split");
      break;
  }
  return 0;
}
