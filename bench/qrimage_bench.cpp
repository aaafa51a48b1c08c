// Timings of whole QRImage calls and of the pipeline steps one by one, of
// the tool's encoding with and without the choice of segments, and, when
// libqrencode was found, of its encoder on the same texts.
//
//   scripts/bench.sh            (builds with -DQRIMAGE_BUILD_BENCHMARKS=ON and runs)
//
// Files go to a RAM-backed folder (/dev/shm when it exists), so the file
// system adds little. "per_module" is the time divided by N x N.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "data/version_select.h"
#include "ecc/error_correction.h"
#include "mask/mask.h"
#include "output/bitmap.h"
#include "qrimage.h"
#include "state/encode_state.h"
#include "symbol/symbol.h"
#include "tool_core/encode.h"
#include "tool_core/segments/kanji.h"
#include "tool_core/segments/symbol_plan.h"

#ifdef QRIMAGE_BENCH_PEER
#include <qrencode.h>
#endif

namespace {

using namespace qrimage;

const std::string& OutputPath() {
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/qrimage-bench-" + std::to_string(getpid()) + ".bmp";
  return path;
}

// A text that fills `version` at `level` exactly, mixing ASCII and bytes
// 0x80..0xFF (never 0).
std::string CapacityText(int version, int level) {
  std::string text;
  std::uint32_t x = 12345u + static_cast<std::uint32_t>(version * 4 + level);
  for (int i = 0; i < kByteCapacity[version - 1][level]; ++i) {
    x = x * 1103515245u + 12345u;
    text.push_back(static_cast<char>(1 + (x >> 16) % 255));
  }
  return text;
}

// The machines are shared, so besides the median the fastest repetition
// is shown: it is the least disturbed one.
double Fastest(const std::vector<double>& v) {
  return *std::min_element(v.begin(), v.end());
}

void SetModuleCounter(benchmark::State& b, int version) {
  const int n = SymbolSize(version);
  b.counters["per_module"] = benchmark::Counter(
      n * n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Full call: args are the version and the level index (0 L .. 3 H).
void BM_QRImage(benchmark::State& b) {
  const int version = static_cast<int>(b.range(0));
  const int level = static_cast<int>(b.range(1));
  const std::string text = CapacityText(version, level);
  const char letter = kLevelLetters[level];
  for (auto _ : b) {
    const int result = QRImage(text.c_str(), letter, OutputPath().c_str());
    if (result != version) {
      b.SkipWithError("unexpected version");
      break;
    }
  }
  SetModuleCounter(b, version);
  unlink(OutputPath().c_str());
}
BENCHMARK(BM_QRImage)
    ->ArgNames({"version", "level"})
    ->ArgsProduct({{1, 5, 10, 20, 30, 40}, {0, 3}})
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Fastest);

// The same numbers in every run: a linear congruential generator, next(n)
// a number below n.
class Draws {
 public:
  explicit Draws(std::uint32_t seed) : x_(seed) {}
  std::uint32_t operator()(std::uint32_t n) {
    x_ = x_ * 1103515245u + 12345u;
    return (x_ >> 16) % n;
  }

 private:
  std::uint32_t x_;
};

// A text as long as `version` holds in byte mode at level L, in runs of
// digits, upper-case letters with punctuation, lower-case words and bytes
// from the high half, as in URLs, part numbers and addresses.
std::string MixedRunsText(int version) {
  const int length = kByteCapacity[version - 1][kLevelL];
  std::string text;
  Draws next(777u + static_cast<std::uint32_t>(version));
  static const char* const kRuns[] = {"0123456789", "ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:",
                                      "abcdefghijklmnopqrstuvwxyz ", "\xC3\xA9\xE2\x82\xAC\xF0"};
  while (static_cast<int>(text.size()) < length) {
    const char* run = kRuns[next(4)];
    const std::size_t choices = std::strlen(run);
    for (std::uint32_t n = 1 + next(16); n > 0 && static_cast<int>(text.size()) < length; --n) {
      text.push_back(run[next(static_cast<std::uint32_t>(choices))]);
    }
  }
  return text;
}

// As long a text in Shift JIS, three in four runs of Kanji characters (of
// the tool's table), the others digits or upper-case letters, as in
// Japanese addresses and notices.
std::string KanjiRunsText(int version) {
  const int length = kByteCapacity[version - 1][kLevelL];
  std::string text;
  Draws next(555u + static_cast<std::uint32_t>(version));
  while (static_cast<int>(text.size()) + 1 < length) {
    const std::uint32_t kind = next(8);  // 0 digits, 1 letters, else Kanji
    for (std::uint32_t n = 1 + next(16); n > 0 && static_cast<int>(text.size()) + 1 < length; --n) {
      if (kind < 2) {
        text.push_back(static_cast<char>(kind == 0 ? '0' + next(10) : 'A' + next(26)));
      } else {
        const std::uint16_t code = kKanjiTable[next(kKanjiTableSize)].shiftJis;
        text.push_back(static_cast<char>(code >> 8));
        text.push_back(static_cast<char>(code & 0xFF));
      }
    }
  }
  return text;
}

// The tool's encoding of that text, from the bytes to the finished symbol:
// arg 1 is 0 for one byte segment (as the library writes it), 1 for the
// shortest segments, 2 for the shortest segments of the Kanji text. All
// keep the version the byte segment needs (the segments' own floor), so
// the difference is the choice of segments and their bit stream.
void BM_ToolEncode(benchmark::State& b) {
  const int version = static_cast<int>(b.range(0));
  const bool segments = b.range(1) != 0;
  const bool kanji = b.range(1) == 2;
  const std::string text = kanji ? KanjiRunsText(version) : MixedRunsText(version);
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  static Symbol symbol;
  for (auto _ : b) {
    SymbolPlan plan;
    const bool planned = segments
                             ? PlanSymbol(bytes, text.size(), kLevelL, version, false, plan, kanji)
                             : PlanBytes(text.size(), kLevelL, version, false, plan);
    if (!planned || EncodeSegments(bytes, plan, symbol) != version) {
      b.SkipWithError("unexpected version");
      break;
    }
  }
  SetModuleCounter(b, version);
}
BENCHMARK(BM_ToolEncode)
    ->ArgNames({"version", "segments"})
    ->ArgsProduct({{1, 10, 40}, {0, 1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Fastest);

#ifdef QRIMAGE_BENCH_PEER
// The peer on the same text: encoding only (byte mode, smallest version,
// same level), no file. Its levels are numbered L, M, Q, H as ours.
void BM_Peer(benchmark::State& b) {
  const int version = static_cast<int>(b.range(0));
  const int level = static_cast<int>(b.range(1));
  const std::string text = CapacityText(version, level);
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  for (auto _ : b) {
    QRcode* code = QRcode_encodeData(static_cast<int>(text.size()), data, 0,
                                     static_cast<QRecLevel>(QR_ECLEVEL_L + level));
    const bool same = code != nullptr && code->version == version;
    QRcode_free(code);
    if (!same) {
      b.SkipWithError("the peer chose another version");
      break;
    }
  }
  SetModuleCounter(b, version);
}
BENCHMARK(BM_Peer)
    ->ArgNames({"version", "level"})
    ->ArgsProduct({{1, 5, 10, 20, 30, 40}, {0, 3}})
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Fastest);
#endif

// The steps alone, on the state a full version-40 call leaves behind.
void PrepareVersion40(int level) {
  QRImage(CapacityText(40, level).c_str(), kLevelLetters[level], OutputPath().c_str());
}

void BM_ErrorCorrection(benchmark::State& b) {
  PrepareVersion40(static_cast<int>(b.range(0)));
  for (auto _ : b) {
    benchmark::DoNotOptimize(ComputeErrorCorrection(encodeState));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ErrorCorrection)
    ->ArgName("level")
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", Fastest);

void BM_MaskTemplates(benchmark::State& b) {
  PrepareVersion40(0);
  for (auto _ : b) {
    BuildMaskTemplates(encodeState);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MaskTemplates)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

void BM_Placement(benchmark::State& b) {
  PrepareVersion40(0);
  for (auto _ : b) {
    PlaceModules(encodeState);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_Placement)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

// Mask selection changes the matrix, so each round starts from a saved
// copy of the unmasked one; the copy (31 KB) is part of the time.
void BM_MaskSelection(benchmark::State& b) {
  PrepareVersion40(0);
  PlaceModules(encodeState);
  static ModuleGrid unmasked;
  unmasked = encodeState.matrix;
  for (auto _ : b) {
    encodeState.matrix = unmasked;
    SelectAndApplyMask(encodeState);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MaskSelection)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

void BM_BitmapFile(benchmark::State& b) {
  PrepareVersion40(0);
  for (auto _ : b) {
    benchmark::DoNotOptimize(WriteBitmapFile(encodeState, OutputPath().c_str()));
  }
  unlink(OutputPath().c_str());
}
BENCHMARK(BM_BitmapFile)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", Fastest);

}  // namespace

BENCHMARK_MAIN();
