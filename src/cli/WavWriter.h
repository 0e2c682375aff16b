#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "disk/ReplaceFile.h"

namespace vantrel {

// The canonical RIFF/WAVE header: "RIFF", "fmt " (PCM) and "data" chunks, 44 bytes.
inline constexpr size_t kWavHeaderSize = 44;
// The RIFF sizes are 32-bit: the data chunk, with its pad byte, must fit below 4 GiB.
inline constexpr uint64_t kWavMaxDataBytes = 0xFFFFFFFFu - (kWavHeaderSize - 8) - 1;

// The sample layouts written: 8-bit unsigned mono (the machine's 8-bit mix), and 16-bit
// signed mono or stereo (the stream the sound card plays).
struct WavFormat {
  uint16_t Channels = 1;
  uint16_t Bits = 8;
  bool operator==(const WavFormat&) const = default;
};
inline constexpr WavFormat kWavU8Mono{1, 8};
inline constexpr WavFormat kWavS16Mono{1, 16};
inline constexpr WavFormat kWavS16Stereo{2, 16};

// The header for `dataBytes` bytes of the machine's sound at 44100 Hz.
std::array<uint8_t, kWavHeaderSize> WavHeader(uint32_t dataBytes, WavFormat format = kWavU8Mono);

// Streams samples into a WAV file as they come, so a long run never holds its sound in
// memory. The samples go to a temporary file beside the target, which Finish renames
// over it once the sizes are in the header; a failed or abandoned file is removed, so the
// target is never left half written.
class WavWriter {
 public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  // Creates the temporary file; false with a message naming `path`.
  bool Open(const std::filesystem::path& path, std::string* error, WavFormat format = kWavU8Mono);
  // Appends samples (bytes as they go into the file). A write error is kept and reported
  // by Finish.
  void Append(std::span<const uint8_t> samples);
  // Appends 16-bit samples, interleaved when stereo, little-endian in the file.
  void Append16(std::span<const int16_t> samples);
  // Completes the header, closes and renames the file; false with a message.
  bool Finish(std::string* error);

  uint64_t DataBytes() const { return dataBytes_; }

 private:
  bool Fail(const std::string& why, std::string* error);
  void Discard();

  std::filesystem::path target_;
  ReplacingFile file_;
  uint64_t dataBytes_ = 0;
  std::string writeError_;
  WavFormat format_ = kWavU8Mono;
};

// The whole sound in one go, through a WavWriter.
bool WriteWav(const std::filesystem::path& path, std::span<const uint8_t> samples,
              std::string* error);

}  // namespace vantrel
