#include "tape/TapePulses.h"

#include <algorithm>
#include <limits>

#include "core/Zlib.h"

namespace vantrel {

namespace {

// Z-RLE data inflates to at most this much: far more than any real recording holds.
constexpr size_t kMaxInflated = size_t{64} << 20;

std::string BlockName(uint32_t block, uint8_t id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return "TZX block " + std::to_string(block) + " (ID #" + kHex[id >> 4] + kHex[id & 15] + ")";
}

// One symbol of a generalized data block: its start flags, then up to `pulses` lengths,
// the first zero ending it early.
class SymbolTable {
 public:
  SymbolTable(std::span<const uint8_t> defs, uint32_t pulses) : defs_(defs), pulses_(pulses) {}
  bool Empty(uint32_t symbol) const { return pulses_ == 0 || Length(symbol, 0) == 0; }
  void Write(uint32_t symbol, PulseWriter& out) const {
    static constexpr PulseStart kStarts[] = {kPulseEdge, kPulseKeep, kPulseLow, kPulseHigh};
    out.Start(kStarts[defs_[Stride() * symbol] & 3]);
    for (uint32_t i = 0; i < pulses_; ++i) {
      const uint32_t length = Length(symbol, i);
      if (length == 0) break;
      out.Pulse(length);
    }
  }

 private:
  size_t Stride() const { return 1 + 2 * size_t{pulses_}; }
  uint32_t Length(uint32_t symbol, uint32_t i) const {
    const size_t at = Stride() * symbol + 1 + 2 * size_t{i};
    return defs_[at] | (defs_[at + 1] << 8);
  }
  std::span<const uint8_t> defs_;
  uint32_t pulses_;
};

// Bits needed for a symbol of an alphabet of `size`: the data stream packs them.
uint32_t SymbolBits(uint32_t size) {
  uint32_t bits = 0;
  while ((1u << bits) < size) ++bits;
  return bits;
}

}  // namespace

std::string WithNumber(std::string text, std::string_view before, uint64_t value,
                       BlockInfoMode mode, std::string_view after) {
  if (mode == BlockInfoMode::None) return text;
  const auto shown = static_cast<uint32_t>(std::min<uint64_t>(value, UINT32_MAX));
  return text + std::string(before) + FormatInfoNumber(shown, mode) + std::string(after);
}

void PulseWriter::Pulse(uint64_t tackts) {
  if (tackts == 0) {
    // No time passes: only the level moves, so the next pulse starts the other way.
    static constexpr PulseStart kFlipped[] = {kPulseKeep, kPulseEdge, kPulseHigh, kPulseLow};
    start_ = kFlipped[start_];
    return;
  }
  PulseStart start = start_;
  while (tackts > 0) {
    if (out_.size() >= kMaxPulses) {
      RefuseTapeFile("The recorded signal is too long (over " + std::to_string(kMaxPulses) +
                     " pulses)");
    }
    const auto part = static_cast<uint32_t>(std::min<uint64_t>(tackts, kPulseLengthMask));
    out_.push_back(PulseEntry(start, part));
    tackts -= part;
    start = kPulseKeep;  // a pulse longer than one entry goes on without an edge
  }
  start_ = kPulseEdge;
}

std::span<const uint8_t> FieldReader::Bytes(size_t n) {
  if (Left() < n) RefuseTapeFile(what_ + " is cut short");
  const auto s = bytes_.subspan(pos_, n);
  pos_ += n;
  return s;
}

void RefuseTapeFile(const std::string& detail) {
  throw TapeFileError(detail);
}

uint64_t WriteRlePulses(std::span<const uint8_t> rle, uint32_t rate, PulseWriter& out,
                        const std::string& what) {
  SampleClock clock(rate);
  uint64_t samples = 0;
  for (size_t i = 0; i < rle.size();) {
    uint64_t n = rle[i++];
    if (n == 0) {
      // A zero byte: the pulse's length follows as 32 bits.
      if (rle.size() - i < 4) RefuseTapeFile(what + " ends inside a long pulse");
      n = rle[i] | (rle[i + 1] << 8) | (rle[i + 2] << 16) | (uint64_t{rle[i + 3]} << 24);
      i += 4;
    }
    samples += n;
    out.Pulse(clock.Tackts(n));
  }
  return samples;
}

std::vector<uint8_t> InflateRle(std::span<const uint8_t> packed, const std::string& what) {
  std::string why;
  auto rle = ZlibInflate(packed, kMaxInflated, &why);
  if (!rle) RefuseTapeFile(what + " has Z-RLE data that does not inflate (" + why + ")");
  return std::move(*rle);
}

void ReadTzxDirectRecording(std::span<const uint8_t> image, size_t& pos, uint32_t block,
                            BlockInfoMode mode, TapeCatalogue& tape) {
  FieldReader in(image.subspan(pos), BlockName(block, 0x15));
  const uint32_t sampleTackts = in.Word();
  in.Word();  // the pause, read by the player
  uint32_t used = in.Byte();
  const auto data = in.Bytes(in.Triple());
  pos += in.Pos();
  if (used == 0 || used > 8) used = 8;
  const uint64_t samples = data.empty() ? 0 : (data.size() - 1) * uint64_t{8} + used;
  const auto sample = [&](uint64_t i) { return (data[i >> 3] >> (7 - (i & 7))) & 1; };
  // Each sample is a level, 1 high: a run of equal samples is one pulse.
  PulseWriter out(tape.Pulses);
  for (uint64_t i = 0; i < samples;) {
    const int level = sample(i);
    uint64_t end = i + 1;
    while (end < samples && sample(end) == level) ++end;
    out.SetLevel(level != 0);
    out.Pulse((end - i) * sampleTackts);
    i = end;
  }
  tape.Rows.push_back(WithNumber("Direct Recording", ", Length ", samples, mode, " samples"));
}

void ReadTzxCswRecording(std::span<const uint8_t> image, size_t& pos, uint32_t block,
                         BlockInfoMode mode, TapeCatalogue& tape) {
  const std::string what = BlockName(block, 0x18);
  FieldReader outer(image.subspan(pos), what);
  FieldReader in(outer.Bytes(outer.Long()), what);
  pos += outer.Pos();
  in.Word();  // the pause, read by the player
  const uint32_t rate = in.Triple();
  const uint32_t compression = in.Byte();
  in.Long();  // the pulse count, only a check for the writer
  const auto data = in.Bytes(in.Left());
  if (compression != 1 && compression != 2) {
    RefuseTapeFile(what + " has an unknown compression type " + std::to_string(compression));
  }
  if (rate == 0 && !data.empty()) RefuseTapeFile(what + " has a sample rate of 0");
  PulseWriter out(tape.Pulses);
  const uint64_t samples = compression == 2
                               ? WriteRlePulses(InflateRle(data, what), rate, out, what)
                               : WriteRlePulses(data, rate, out, what);
  tape.Rows.push_back(WithNumber("CSW Recording", ", Length ", samples, mode, " samples"));
}

void ReadTzxGeneralizedData(std::span<const uint8_t> image, size_t& pos, uint32_t block,
                            BlockInfoMode mode, TapeCatalogue& tape) {
  const std::string what = BlockName(block, 0x19);
  FieldReader outer(image.subspan(pos), what);
  FieldReader in(outer.Bytes(outer.Long()), what);
  pos += outer.Pos();
  in.Word();  // the pause, read by the player
  const uint32_t pilotCount = in.Long();
  const uint32_t pilotPulses = in.Byte();
  uint32_t pilotSize = in.Byte();
  const uint32_t dataCount = in.Long();
  const uint32_t dataPulses = in.Byte();
  uint32_t dataSize = in.Byte();
  // An alphabet of 0 symbols stands for 256.
  if (pilotSize == 0) pilotSize = 256;
  if (dataSize == 0) dataSize = 256;
  PulseWriter out(tape.Pulses);
  if (pilotCount != 0) {
    const SymbolTable pilot(in.Bytes(pilotSize * (1 + 2 * size_t{pilotPulses})), pilotPulses);
    const auto stream = in.Bytes(size_t{pilotCount} * 3);
    for (size_t i = 0; i < stream.size(); i += 3) {
      const uint32_t symbol = stream[i];
      const uint32_t repeats = stream[i + 1] | (stream[i + 2] << 8);
      if (symbol >= pilotSize) {
        RefuseTapeFile(what + " plays pilot symbol " + std::to_string(symbol) + " of a table of " +
                       std::to_string(pilotSize));
      }
      // A symbol without pulses only sets the start of the next one.
      for (uint32_t r = 0; r < (pilot.Empty(symbol) ? 1 : repeats); ++r) pilot.Write(symbol, out);
    }
  }
  size_t dataBytes = 0;
  if (dataCount != 0) {
    const SymbolTable data(in.Bytes(dataSize * (1 + 2 * size_t{dataPulses})), dataPulses);
    const uint32_t bits = SymbolBits(dataSize);
    dataBytes = static_cast<size_t>((uint64_t{dataCount} * bits + 7) / 8);
    const auto stream = in.Bytes(dataBytes);
    if (bits == 0) {
      // One symbol: the stream holds no bits, every symbol is the first.
      for (uint32_t i = 0; i < (data.Empty(0) ? 1 : dataCount); ++i) data.Write(0, out);
    } else {
      for (uint64_t i = 0, bit = 0; i < dataCount; ++i) {
        uint32_t symbol = 0;
        for (uint32_t b = 0; b < bits; ++b, ++bit) {
          symbol = (symbol << 1) | ((stream[bit >> 3] >> (7 - (bit & 7))) & 1);
        }
        if (symbol >= dataSize) {
          RefuseTapeFile(what + " plays data symbol " + std::to_string(symbol) + " of a table of " +
                         std::to_string(dataSize));
        }
        data.Write(symbol, out);
      }
    }
  }
  tape.Rows.push_back(WithNumber("Generalized Data Block", ", Length ", dataBytes, mode));
}

}  // namespace vantrel
