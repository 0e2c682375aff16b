#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tape/TapeImage.h"

namespace vantrel {

// One entry of TapeCatalogue::Pulses: a period in T-states (bits 0-29) and what the EAR
// level does as it starts (bits 30-31). The player makes an edge at the end of every
// period, as for the standard blocks, and then applies the next entry's start.
enum PulseStart : uint32_t {
  kPulseEdge = 0,  // the edge stands: the level is the opposite of the last period's
  kPulseKeep = 1,  // no edge: the level of the last period goes on
  kPulseLow = 2,
  kPulseHigh = 3,
};
inline constexpr uint32_t kPulseLengthMask = (1u << 30) - 1;
inline constexpr uint32_t PulseEntry(PulseStart start, uint32_t tackts) {
  return (static_cast<uint32_t>(start) << 30) | tackts;
}
// A tape decodes to at most this many entries (64 MB, hours of loading); a file asking for
// more is refused rather than allowed to take all memory.
inline constexpr size_t kMaxPulses = size_t{1} << 24;
// Recordings are timed in the 3.5 MHz T-states that TZX and PZX lengths use.
inline constexpr uint64_t kTapeClock = 3500000;

// Appends pulses to a catalogue's entries. A pulse is the level held for a time, ended by
// an edge; a pulse of no time only moves the level, so it changes how the next starts.
class PulseWriter {
 public:
  explicit PulseWriter(std::vector<uint32_t>& out) : out_(out) {}
  // The next pulse starts at this level, whatever the last one was.
  void SetLevel(bool high) { start_ = high ? kPulseHigh : kPulseLow; }
  // How the next pulse starts (a symbol's flags).
  void Start(PulseStart start) { start_ = start; }
  void Pulse(uint64_t tackts);

 private:
  std::vector<uint32_t>& out_;
  PulseStart start_ = kPulseEdge;
};

// Sample counts at a rate to T-states, carrying the remainder so long recordings keep time.
class SampleClock {
 public:
  explicit SampleClock(uint32_t rate) : rate_(rate == 0 ? 1 : rate) {}
  uint64_t Tackts(uint64_t samples) {
    const uint64_t scaled = samples * kTapeClock + remainder_;
    remainder_ = scaled % rate_;
    return scaled / rate_;
  }

 private:
  uint64_t rate_;
  uint64_t remainder_ = 0;
};

// Reads a little-endian structure within `bytes`; reading past the end refuses the file
// with "<what> is cut short".
class FieldReader {
 public:
  FieldReader(std::span<const uint8_t> bytes, std::string what)
      : bytes_(bytes), what_(std::move(what)) {}
  uint32_t Byte() { return Bytes(1)[0]; }
  uint32_t Word() {
    const auto b = Bytes(2);
    return b[0] | (b[1] << 8);
  }
  uint32_t Triple() {
    const uint32_t low = Word();
    return low | (Byte() << 16);
  }
  uint32_t Long() {
    const uint32_t low = Word();
    return low | (Word() << 16);
  }
  std::span<const uint8_t> Bytes(size_t n);
  size_t Left() const { return bytes_.size() - pos_; }
  size_t Pos() const { return pos_; }

 private:
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  std::string what_;
};

// `text` + `before` + the number + `after`, or `text` alone when numbers are hidden.
std::string WithNumber(std::string text, std::string_view before, uint64_t value,
                       BlockInfoMode mode, std::string_view after = {});

[[noreturn]] void RefuseTapeFile(const std::string& detail);

// CSW run-length pulses (a byte of samples, or 0 and a 32-bit count) at `rate`, each ended
// by an edge; `what` names the data in a refusal. Returns the samples they last.
uint64_t WriteRlePulses(std::span<const uint8_t> rle, uint32_t rate, PulseWriter& out,
                        const std::string& what);
// Inflates Z-RLE data, refusing it with a message naming `what`.
std::vector<uint8_t> InflateRle(std::span<const uint8_t> packed, const std::string& what);

// The TZX blocks with a recorded signal: each reads the body after the ID at `pos`,
// appends its row and pulses, and moves `pos` past the block. `block` (1-based) names it
// in a refusal.
void ReadTzxDirectRecording(std::span<const uint8_t> image, size_t& pos, uint32_t block,
                            BlockInfoMode mode, TapeCatalogue& tape);
void ReadTzxCswRecording(std::span<const uint8_t> image, size_t& pos, uint32_t block,
                         BlockInfoMode mode, TapeCatalogue& tape);
void ReadTzxGeneralizedData(std::span<const uint8_t> image, size_t& pos, uint32_t block,
                            BlockInfoMode mode, TapeCatalogue& tape);

}  // namespace vantrel
