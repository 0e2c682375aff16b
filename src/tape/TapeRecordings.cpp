// The formats that are one recorded signal: CSW pulse files and WAV sound files.
#include <algorithm>
#include <cstring>

#include "tape/TapeImage.h"
#include "tape/TapePulses.h"

namespace vantrel {

namespace {

constexpr std::string_view kCswSignature = "Compressed Square Wave\x1A";

// 8- or 16-bit PCM, all channels mixed, on the 16-bit scale.
class WavSamples {
 public:
  WavSamples(std::span<const uint8_t> data, uint32_t channels, uint32_t bits, uint32_t frameBytes)
      : data_(data), channels_(channels), bytes_(bits / 8), frameBytes_(frameBytes) {}
  size_t Frames() const { return data_.size() / frameBytes_; }
  int32_t operator[](size_t frame) const {
    const uint8_t* at = data_.data() + frame * frameBytes_;
    int32_t sum = 0;
    for (uint32_t c = 0; c < channels_; ++c, at += bytes_) {
      // 8-bit samples are unsigned, 16-bit ones signed.
      sum += bytes_ == 1 ? (at[0] - 128) * 256 : static_cast<int16_t>(at[0] | (at[1] << 8));
    }
    return sum / static_cast<int32_t>(channels_);
  }

 private:
  std::span<const uint8_t> data_;
  uint32_t channels_, bytes_, frameBytes_;
};

// The level a sound's samples stand for. The threshold sits halfway between the recent
// highest and lowest samples, each drifting towards the signal in about 10 ms, so a
// recording loud or quiet, off-centre or drifting reads the same; a margin around it
// keeps noise from making edges.
void WriteWavPulses(const WavSamples& samples, uint32_t rate, PulseWriter& out) {
  constexpr int32_t kMinMargin = 512;
  uint32_t shift = 1;
  while (shift < 16 && (uint64_t{2} << shift) <= rate / 100) ++shift;
  SampleClock clock(rate);
  const size_t frames = samples.Frames();
  if (frames == 0) return;
  int32_t high = samples[0], low = samples[0];
  bool level = false;
  uint64_t run = 0;
  out.SetLevel(false);
  for (size_t i = 0; i < frames; ++i) {
    const int32_t x = samples[i];
    high = x > high ? x : high - ((high - x) >> shift);
    low = x < low ? x : low + ((x - low) >> shift);
    const int32_t middle = low + (high - low) / 2;
    const int32_t margin = std::max((high - low) / 8, kMinMargin);
    const bool now = level ? x >= middle - margin : x > middle + margin;
    if (now != level && run > 0) {
      out.Pulse(clock.Tackts(run));
      run = 0;
    }
    level = now;
    ++run;
  }
  out.Pulse(clock.Tackts(run));
}

std::string ChannelText(uint32_t channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return std::to_string(channels) + " channels";
}

}  // namespace

TapeCatalogue ReadCsw(std::vector<uint8_t> file, BlockInfoMode mode) {
  if (file.size() < kCswSignature.size() ||
      !std::equal(kCswSignature.begin(), kCswSignature.end(), file.begin())) {
    RefuseTapeFile("Not a CSW file (no \"Compressed Square Wave\" signature)");
  }
  TapeCatalogue tape;
  tape.TapeImage = std::move(file);
  const std::span<const uint8_t> image(tape.TapeImage);
  FieldReader in(image.subspan(kCswSignature.size()), "The CSW header");
  const uint32_t major = in.Byte(), minor = in.Byte();
  uint32_t rate = 0, compression = 0, flags = 0;
  if (major == 1) {
    rate = in.Word();
    compression = in.Byte();
    flags = in.Byte();
    in.Bytes(3);
  } else if (major == 2) {
    rate = in.Long();
    in.Long();  // the pulse count, only a check for the writer
    compression = in.Byte();
    flags = in.Byte();
    const uint32_t extension = in.Byte();
    in.Bytes(16);  // the program that wrote it
    in.Bytes(extension);
  } else {
    RefuseTapeFile("CSW version " + std::to_string(major) + "." + std::to_string(minor) +
                   " is not known (1.x or 2.x)");
  }
  // Version 1 knows only RLE.
  if (compression != 1 && (compression != 2 || major != 2)) {
    RefuseTapeFile("Unknown CSW compression type " + std::to_string(compression));
  }
  const auto data = image.subspan(kCswSignature.size() + in.Pos());
  if (rate == 0 && !data.empty()) RefuseTapeFile("The CSW sample rate is 0");
  StartBlock(tape, 0);
  PulseWriter out(tape.Pulses);
  out.SetLevel(flags & 1);
  const std::string what = "The CSW data";
  uint64_t samples = 0;
  if (compression == 2 && !data.empty()) {
    samples = WriteRlePulses(InflateRle(data, what), rate, out, what);
  } else {
    samples = WriteRlePulses(data, rate, out, what);
  }
  tape.Rows.push_back(
      WithNumber(WithNumber(compression == 2 ? "CSW Recording, Z-RLE" : "CSW Recording, RLE", ", ",
                            rate, mode, " Hz"),
                 ", Length ", samples, mode, " samples"));
  FinishTape(tape, TapeKind::Csw);
  return tape;
}

TapeCatalogue ReadWav(std::vector<uint8_t> file, BlockInfoMode mode) {
  const auto tag = [&](size_t at, std::string_view text) {
    return file.size() >= at + 4 && std::memcmp(file.data() + at, text.data(), 4) == 0;
  };
  if (!tag(0, "RIFF") || !tag(8, "WAVE")) RefuseTapeFile("Not a WAV file (no RIFF WAVE header)");
  TapeCatalogue tape;
  tape.TapeImage = std::move(file);
  const std::span<const uint8_t> image(tape.TapeImage);
  std::span<const uint8_t> format, data;
  bool haveFormat = false, haveData = false;
  for (size_t pos = 12; image.size() - pos >= 8 && !haveData;) {
    FieldReader chunk(image.subspan(pos), "A WAV chunk");
    const auto id = chunk.Bytes(4);
    const uint32_t size = chunk.Long();
    // A recording cut short keeps the samples it has.
    const auto body = image.subspan(pos + 8, std::min<size_t>(size, image.size() - pos - 8));
    if (std::memcmp(id.data(), "fmt ", 4) == 0) {
      format = body;
      haveFormat = true;
    } else if (std::memcmp(id.data(), "data", 4) == 0) {
      data = body;
      haveData = true;
    }
    pos += 8 + body.size() + (body.size() & 1);
    if (pos > image.size()) break;
  }
  if (!haveFormat) RefuseTapeFile("The WAV file has no format chunk");
  if (!haveData) RefuseTapeFile("The WAV file has no data chunk");
  FieldReader in(format, "The WAV format chunk");
  uint32_t coding = in.Word();
  const uint32_t channels = in.Word();
  const uint32_t rate = in.Long();
  in.Long();  // bytes per second
  const uint32_t frameBytes = in.Word();
  const uint32_t bits = in.Word();
  if (coding == 0xFFFE) {
    // The extensible format: the coding is the first word of its sub-format.
    in.Bytes(8);
    coding = in.Word();
  }
  if (coding != 1)
    RefuseTapeFile("The WAV file holds no PCM samples (format " + std::to_string(coding) + ")");
  if (bits != 8 && bits != 16) {
    RefuseTapeFile("WAV samples of " + std::to_string(bits) + " bits are not read (8 or 16)");
  }
  if (channels == 0 || rate == 0) RefuseTapeFile("The WAV file has no channels or a rate of 0");
  if (frameBytes < channels * bits / 8) {
    RefuseTapeFile("The WAV file's frames are too small for its channels");
  }
  const WavSamples samples(data, channels, bits, frameBytes);
  StartBlock(tape, 0);
  PulseWriter out(tape.Pulses);
  WriteWavPulses(samples, rate, out);
  tape.Rows.push_back(WithNumber(
      WithNumber("WAV Recording, " + std::to_string(bits) + "-bit " + ChannelText(channels), ", ",
                 rate, mode, " Hz"),
      ", Length ", samples.Frames(), mode, " samples"));
  FinishTape(tape, TapeKind::Wav);
  return tape;
}

}  // namespace vantrel
