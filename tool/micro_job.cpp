// Micro QR symbols for the tool: the character set a symbol without ECI
// can carry, the plan, and the messages when the text does not fit.
#include <algorithm>
#include <cstdint>

#include "job.h"
#include "report.h"
#include "tool_core/micro/micro_symbol.h"

namespace qrtool {

namespace {

using qrimage::kLevelLetters;

const std::uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const std::uint8_t*>(text.data());
}

// --bytes: the whole text as one byte segment at the level given.
bool PlanBytes(std::size_t length, const Job& job, int maxVersion, qrimage::MicroPlan& plan) {
  for (int version = job.minVersion; version <= maxVersion; ++version) {
    const std::int64_t bits = qrimage::MicroSegmentBits(qrimage::kByteMode, length, version);
    if (bits >= 0 && qrimage::MicroHasLevel(version, job.level) &&
        bits <= qrimage::MicroDataBits(version, job.level)) {
      plan = {
          version, job.level, {{qrimage::kByteMode, 0, static_cast<std::uint32_t>(length)}}, bits};
      return true;
    }
  }
  return false;
}

bool Plan(const std::string& text, const Job& job, int maxVersion, qrimage::MicroPlan& plan) {
  return job.bytes ? PlanBytes(text.size(), job, maxVersion, plan)
                   : qrimage::PlanMicro(Bytes(text), text.size(), job.level, job.boost,
                                        job.minVersion, maxVersion, plan);
}

// "M4 at level M holds at most 30 digits, 18 alphanumeric characters or 13
// bytes".
std::string Capacity(int level) {
  constexpr int kVersion = qrimage::kMicroMaxVersion;
  return "Micro QR M4 at level " + std::string(1, kLevelLetters[level]) + " holds at most " +
         std::to_string(qrimage::MicroCharacterCapacity(kVersion, level, qrimage::kNumericMode)) +
         " digits, " +
         std::to_string(
             qrimage::MicroCharacterCapacity(kVersion, level, qrimage::kAlphanumericMode)) +
         " alphanumeric characters or " +
         std::to_string(qrimage::MicroCharacterCapacity(kVersion, level, qrimage::kByteMode)) +
         " bytes";
}

std::string TooLong(const std::string& text, const Job& job) {
  std::string message = "the text is " + std::to_string(text.size()) + " bytes" +
                        (job.latin1 ? " in ISO-8859-1" : "") + "; " + Capacity(job.level);
  Job lower = job;
  for (lower.level = job.level - 1; lower.level >= 0; --lower.level) {
    qrimage::MicroPlan plan;
    if (Plan(text, lower, qrimage::kMicroMaxVersion, plan)) {
      return message + " (level " + kLevelLetters[lower.level] + " holds it)";
    }
  }
  return message + "; without --micro a QR Code symbol holds more";
}

}  // namespace

int EncodeMicroText(const std::string& text, const Job& job, Result& result,
                    std::vector<qrimage::Segment>& segments, qrimage::Symbol& symbol,
                    std::string& error) {
  const auto beyond = std::find_if(text.begin(), text.end(),
                                   [](char c) { return static_cast<std::uint8_t>(c) >= 0x80; });
  if (!job.bytes && !job.latin1 && beyond != text.end()) {
    error = "--micro: byte " + std::to_string(beyond - text.begin() + 1) +
            " of the text is beyond ASCII, and a Micro QR symbol has no ECI to name its "
            "character set; --latin1 writes the text as ISO-8859-1 and --bytes as given, in "
            "byte mode, but readers may then show other characters";
    return kNotUtf8;
  }
  const int maxVersion = job.strict ? job.minVersion : qrimage::kMicroMaxVersion;
  qrimage::MicroPlan plan;
  if (!Plan(text, job, maxVersion, plan)) {
    const bool larger = job.strict && Plan(text, job, qrimage::kMicroMaxVersion, plan);
    error = larger ? "the text needs Micro QR M" + std::to_string(plan.version) + " at level " +
                         kLevelLetters[job.level] + "; --strict keeps the symbol at M" +
                         std::to_string(job.minVersion)
                   : TooLong(text, job);
    return kTextTooLong;
  }
  if (qrimage::EncodeMicro(Bytes(text), plan, qrimage::kMicroEvaluatedMask, symbol) < 0) {
    error = "the Micro QR symbol could not be encoded";
    return kEncodingFailed;
  }
  result.micro = true;
  result.level = plan.level;
  segments = plan.segments;
  return kOk;
}

}  // namespace qrtool
