// PZX: tagged blocks of pulses, data bits with their pulse patterns, pauses and stops.
#include <algorithm>
#include <cstring>

#include "tape/TapeImage.h"
#include "tape/TapePulses.h"

namespace vantrel {

namespace {

constexpr std::string_view kBullet = " \u2022";

bool IsTag(std::span<const uint8_t> tag, std::string_view text) {
  return std::memcmp(tag.data(), text.data(), 4) == 0;
}

// The header's texts: the title, then name and value pairs, each ended by a zero byte.
void DescribeHeader(std::span<const uint8_t> texts, std::vector<std::string>& rows) {
  std::vector<std::string> parts;
  while (!texts.empty()) {
    const auto end = std::find(texts.begin(), texts.end(), 0);
    parts.push_back(TapeText(texts.first(static_cast<size_t>(end - texts.begin()))));
    texts = texts.subspan(std::min<size_t>(texts.size(), end - texts.begin() + 1));
  }
  rows.push_back(parts.empty() || parts[0].empty() ? "Tape Info" : "Tape Info: " + parts[0]);
  for (size_t i = 1; i + 1 < parts.size(); i += 2) {
    rows.push_back(std::string(kBullet) + parts[i] + ": " + parts[i + 1]);
  }
}

// A pulse sequence: 16-bit lengths, with a repeat count and 31-bit lengths marked by the
// top bits. The level starts low.
uint64_t WritePulseSequence(FieldReader& in, PulseWriter& out) {
  uint64_t pulses = 0;
  out.SetLevel(false);
  while (in.Left() > 0) {
    uint32_t count = 1;
    uint32_t length = in.Word();
    if (length > 0x8000) {
      count = length & 0x7FFF;
      length = in.Word();
    }
    if (length >= 0x8000) length = ((length & 0x7FFF) << 16) | in.Word();
    for (uint32_t i = 0; i < count; ++i) out.Pulse(length);
    pulses += count;
  }
  return pulses;
}

void WritePattern(std::span<const uint8_t> lengths, PulseWriter& out) {
  for (size_t i = 0; i + 1 < lengths.size(); i += 2) out.Pulse(lengths[i] | (lengths[i + 1] << 8));
}

std::string DescribeData(std::span<const uint8_t> data, uint32_t bits, BlockInfoMode mode) {
  if (bits == 0) return "Nonstandard Zero";
  if (bits % 8 == 0) return DescribeBlockBody(data, "", mode);
  return WithNumber("Nonstandard", ", Bits ", bits, mode);
}

}  // namespace

TapeCatalogue ReadPzx(std::vector<uint8_t> file, BlockInfoMode mode) {
  if (file.size() < 8 || std::memcmp(file.data(), "PZXT", 4) != 0) {
    RefuseTapeFile("Not a PZX file (it does not start with a PZXT block)");
  }
  TapeCatalogue tape;
  tape.TapeImage = std::move(file);
  const std::span<const uint8_t> image(tape.TapeImage);
  for (size_t pos = 0; pos < image.size();) {
    StartBlock(tape, pos);
    const std::string name = "PZX block " + std::to_string(tape.BlockCount());
    FieldReader head(image.subspan(pos), name);
    const auto tag = head.Bytes(4);
    const auto body = head.Bytes(head.Long());
    pos += head.Pos();
    const std::string what = name + " (" + TapeText(tag) + ")";
    FieldReader in(body, what);
    PulseWriter out(tape.Pulses);
    if (IsTag(tag, "PZXT")) {
      const uint32_t major = in.Byte(), minor = in.Byte();
      if (major != 1) {
        RefuseTapeFile("PZX version " + std::to_string(major) + "." + std::to_string(minor) +
                       " is not known (1.x)");
      }
      DescribeHeader(in.Bytes(in.Left()), tape.Rows);
    } else if (IsTag(tag, "PULS")) {
      tape.Rows.push_back(
          WithNumber("Pulse Sequence", ", ", WritePulseSequence(in, out), mode, " pulses"));
    } else if (IsTag(tag, "DATA")) {
      const uint32_t count = in.Long();
      const uint32_t bits = count & 0x7FFFFFFF;
      const uint32_t tail = in.Word();
      const uint32_t zeroPulses = in.Byte(), onePulses = in.Byte();
      const auto zero = in.Bytes(2 * size_t{zeroPulses});
      const auto one = in.Bytes(2 * size_t{onePulses});
      const auto data = in.Bytes((size_t{bits} + 7) / 8);
      out.SetLevel(count >> 31);
      for (uint32_t i = 0; i < bits; ++i) {
        WritePattern((data[i >> 3] >> (7 - (i & 7))) & 1 ? one : zero, out);
      }
      if (tail != 0) out.Pulse(tail);
      tape.Rows.push_back(DescribeData(data, bits, mode));
    } else if (IsTag(tag, "PAUS")) {
      const uint32_t pause = in.Long();
      out.SetLevel(pause >> 31);
      out.Pulse(pause & 0x7FFFFFFF);
      tape.Rows.push_back("Pause: " + std::to_string((pause & 0x7FFFFFFF) / 3500) + "ms");
    } else if (IsTag(tag, "BRWS")) {
      tape.Rows.push_back("Browse Point: " + TapeText(body));
    } else if (IsTag(tag, "STOP")) {
      tape.Rows.emplace_back(in.Word() == 1 ? "Stop Tape if in 48K Mode" : "Stop the Tape");
    } else {
      // Blocks of later versions are passed over, as the format asks.
      tape.Rows.push_back("Unknown Block \"" + TapeText(tag) + "\"");
    }
  }
  FinishTape(tape, TapeKind::Pzx);
  return tape;
}

}  // namespace vantrel
