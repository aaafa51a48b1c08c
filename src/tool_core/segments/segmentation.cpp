// A dynamic programme over the characters. The state after a character is
// the mode of the segment it ends, and for numeric and alphanumeric also how
// many characters of the segment's last group it completes (1 to 3 digits,
// 1 or 2 alphanumeric characters). A segment's bits are its header plus the
// sum of what each character adds given its place in the group: digits add
// 4, 3, 3 (a group of 1, 2, 3 digits takes 4, 7, 10 bits), alphanumeric
// characters 6, 5 (6 and 11 bits), bytes 8. So every segmentation's length
// is a sum of per-character steps that depend only on the state before and
// after, and the minimum over the six states after the last character is
// the exact minimum over all segmentations. A new segment may start before
// any character and pays its mode indicator and count width then.
//
// In a Shift JIS text each two-byte character is one step, 13 bits in the
// Kanji state and nothing in the others: without a character-set header,
// only Kanji segments make the reader see those bytes as Shift JIS.
//
// The count field's upper limit is not modelled: a segment that could not
// count its characters would on its own exceed every symbol's capacity in
// that version range, so no split that fits a symbol has one.
#include "tool_core/segments/segmentation.h"

#include <algorithm>
#include <limits>

#include "tool_core/segments/kanji.h"
#include "tool_core/text.h"

namespace qrimage {

namespace {

enum State : std::uint8_t { kN1, kN2, kN3, kA1, kA2, kB, kK, kStateCount };

constexpr std::int64_t kUnreachable = std::numeric_limits<std::int64_t>::max() / 4;

// What each character adds inside a segment: digits 4 for a new group, then
// 3 and 3; alphanumeric characters 6, then 5.
constexpr std::int64_t kDigitStep[kNumericGroup] = {kNumericGroupBits[1] - kNumericGroupBits[0],
                                                    kNumericGroupBits[2] - kNumericGroupBits[1],
                                                    kNumericGroupBits[3] - kNumericGroupBits[2]};
constexpr std::int64_t kAlphanumericStep[kAlphanumericGroup] = {
    kAlphanumericGroupBits[1] - kAlphanumericGroupBits[0],
    kAlphanumericGroupBits[2] - kAlphanumericGroupBits[1]};

// The trace of one character, at its last byte: the cheapest state before
// it (kNoState at the text's start) and which of the states N1, A1, B, K
// began a new segment.
constexpr std::uint8_t kNoState = 7;
constexpr std::uint8_t kStartedN1 = 1 << 3;
constexpr std::uint8_t kStartedA1 = 1 << 4;
constexpr std::uint8_t kStartedB = 1 << 5;
constexpr std::uint8_t kStartedK = 1 << 6;
static_assert(kStateCount <= kNoState);

class Programme {
 public:
  explicit Programme(int range) {
    for (int mode = 0; mode < kSegmentModeCount; ++mode) {
      header[mode] = kModeIndicatorBits + kCountBits[mode][range];
    }
    std::fill(cost, cost + kStateCount, kUnreachable);
  }

  // Takes one more character, one byte `c` or with `kanji` a Kanji
  // character; returns its trace.
  std::uint8_t Step(std::uint8_t c, bool kanji = false) {
    std::uint8_t bestState = kNoState;
    std::int64_t best = started ? kUnreachable : 0;
    for (int s = 0; s < kStateCount; ++s) {
      if (cost[s] < best) {
        best = cost[s];
        bestState = static_cast<std::uint8_t>(s);
      }
    }
    started = true;
    std::uint8_t trace = bestState;
    std::int64_t next[kStateCount];
    const std::uint8_t narrowest = kanji ? std::uint8_t{kKanjiMode} : kNarrowestMode[c];
    if (narrowest == kNumericMode) {
      const std::int64_t fresh = best + header[kNumericMode] + kDigitStep[0];
      const std::int64_t carry = cost[kN3] + kDigitStep[0];
      next[kN1] = std::min(fresh, carry);
      trace |= fresh < carry ? kStartedN1 : 0;
      next[kN2] = cost[kN1] + kDigitStep[1];
      next[kN3] = cost[kN2] + kDigitStep[2];
    } else {
      next[kN1] = next[kN2] = next[kN3] = kUnreachable;
    }
    if (narrowest <= kAlphanumericMode) {
      const std::int64_t fresh = best + header[kAlphanumericMode] + kAlphanumericStep[0];
      const std::int64_t carry = cost[kA2] + kAlphanumericStep[0];
      next[kA1] = std::min(fresh, carry);
      trace |= fresh < carry ? kStartedA1 : 0;
      next[kA2] = cost[kA1] + kAlphanumericStep[1];
    } else {
      next[kA1] = next[kA2] = kUnreachable;
    }
    if (narrowest <= kByteMode) {
      const std::int64_t fresh = best + header[kByteMode] + kByteBits;
      const std::int64_t carry = cost[kB] + kByteBits;
      next[kB] = std::min(fresh, carry);
      trace |= fresh < carry ? kStartedB : 0;
      next[kK] = kUnreachable;
    } else {
      const std::int64_t fresh = best + header[kKanjiMode] + kKanjiBits;
      const std::int64_t carry = cost[kK] + kKanjiBits;
      next[kK] = std::min(fresh, carry);
      trace |= fresh < carry ? kStartedK : 0;
      next[kB] = kUnreachable;
    }
    // Unreachable states stay at the one sentinel, however long the text.
    for (int s = 0; s < kStateCount; ++s) {
      cost[s] = std::min(next[s], kUnreachable);
    }
    return trace;
  }

  // The least bits over all states, and the state that has them.
  std::int64_t Least(State* state = nullptr) const {
    const std::int64_t* least = std::min_element(cost, cost + kStateCount);
    if (state != nullptr) {
      *state = static_cast<State>(least - cost);
    }
    return *least;
  }

 private:
  std::int64_t header[kSegmentModeCount];
  std::int64_t cost[kStateCount];
  bool started = false;
};

SegmentMode ModeOf(State state) {
  return state <= kN3   ? kNumericMode
         : state <= kA2 ? kAlphanumericMode
         : state == kB  ? kByteMode
                        : kKanjiMode;
}

// Feeds the programme the character at text[i]; returns the index of its
// last byte, or `length` when a Shift JIS text breaks off or holds a code
// Kanji mode cannot write.
std::size_t Feed(Programme& programme, const std::uint8_t* text, std::size_t i, std::size_t length,
                 bool shiftJis, std::uint8_t* trace) {
  if (!shiftJis || text[i] < 0x80) {
    const std::uint8_t step = programme.Step(text[i]);
    if (trace != nullptr) {
      trace[i] = step;
    }
    return i;
  }
  if (i + 1 >= length || !IsKanjiCode(text[i], text[i + 1])) {
    return length;
  }
  const std::uint8_t step = programme.Step(text[i], true);
  if (trace != nullptr) {
    trace[i + 1] = step;
  }
  return i + 1;
}

// Each state's flag of a segment begun there (0: never, the state follows
// the one before it), and the state before it otherwise.
struct TraceStep {
  std::uint8_t started;
  State before;
};
constexpr TraceStep kTraceSteps[kStateCount] = {{kStartedN1, kN3}, {0, kN1}, {0, kN2},
                                                {kStartedA1, kA2}, {0, kA1}, {kStartedB, kB},
                                                {kStartedK, kK}};

// The segments that end in `state` after the last character, read back
// from the traces: each state names the one before it, unless a segment
// began at that character. A Kanji character's trace is at its second byte.
void TraceBack(const std::vector<std::uint8_t>& trace, State state,
               std::vector<Segment>& segments) {
  segments.clear();
  std::size_t end = trace.size();
  for (std::size_t i = trace.size(); i-- > 0;) {
    const std::size_t first = state == kK ? i - 1 : i;
    const bool began = (trace[i] & kTraceSteps[state].started) != 0;
    State before = kTraceSteps[state].before;
    if (began) {
      segments.push_back(Segment{ModeOf(state), static_cast<std::uint32_t>(first),
                                 static_cast<std::uint32_t>(end - first)});
      end = first;
      before = static_cast<State>(trace[i] & 7);
    }
    state = before;
    i = first;
  }
  std::reverse(segments.begin(), segments.end());
}

}  // namespace

std::int64_t ShortestSegments(const std::uint8_t* text, std::size_t length, int range,
                              std::vector<Segment>* segments, bool shiftJis) {
  if (length == 0) {
    if (segments != nullptr) {
      segments->assign(1, Segment{kByteMode, 0, 0});
    }
    return SegmentBits(kByteMode, 0, range);
  }
  Programme programme(range);
  std::vector<std::uint8_t> trace(segments != nullptr ? length : 0);
  for (std::size_t i = 0; i < length; ++i) {
    i = Feed(programme, text, i, length, shiftJis, segments != nullptr ? trace.data() : nullptr);
    if (i == length) {
      if (segments != nullptr) {
        segments->clear();
      }
      return kUnreachable;
    }
  }
  State state;
  const std::int64_t bits = programme.Least(&state);
  if (segments != nullptr) {
    TraceBack(trace, state, *segments);
  }
  return bits;
}

std::size_t LongestPrefixWithin(const std::uint8_t* text, std::size_t length, int range,
                                std::int64_t budget, bool wholeUtf8, bool shiftJis) {
  Programme programme(range);
  std::size_t longest = 0;
  for (std::size_t i = 0; i < length; ++i) {
    i = Feed(programme, text, i, length, shiftJis, nullptr);
    // The shortest split of a prefix never shrinks as the prefix grows.
    if (i == length || programme.Least() > budget) {
      break;
    }
    if (!wholeUtf8 || i + 1 == length || !ContinuesCharacter(text[i + 1])) {
      longest = i + 1;
    }
  }
  return longest;
}

}  // namespace qrimage
