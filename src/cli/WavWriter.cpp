#include "cli/WavWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "sound/SoundOutput.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

constexpr uint16_t kPcmFormat = 1;
constexpr uint32_t kFmtChunkSize = 16;
constexpr size_t kDataSizeOffset = 40;

// RIFF numbers are little-endian whatever the host.
void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  Put16(at, static_cast<uint16_t>(value));
  Put16(at + 2, static_cast<uint16_t>(value >> 16));
}

void PutTag(uint8_t* at, std::string_view tag) {
  std::memcpy(at, tag.data(), 4);
}

}  // namespace

std::array<uint8_t, kWavHeaderSize> WavHeader(uint32_t dataBytes, WavFormat format) {
  // A chunk of odd length is followed by a pad byte, which the RIFF size counts.
  const uint32_t padded = dataBytes + (dataBytes & 1);
  const uint16_t blockAlign = static_cast<uint16_t>(format.Channels * format.Bits / 8);
  std::array<uint8_t, kWavHeaderSize> header{};
  uint8_t* h = header.data();
  PutTag(h, "RIFF");
  Put32(h + 4, static_cast<uint32_t>(kWavHeaderSize - 8) + padded);
  PutTag(h + 8, "WAVE");
  PutTag(h + 12, "fmt ");
  Put32(h + 16, kFmtChunkSize);
  Put16(h + 20, kPcmFormat);
  Put16(h + 22, format.Channels);
  Put32(h + 24, kSoundSampleRate);
  Put32(h + 28, kSoundSampleRate * blockAlign);  // bytes per second
  Put16(h + 32, blockAlign);
  Put16(h + 34, format.Bits);
  PutTag(h + 36, "data");
  Put32(h + kDataSizeOffset, dataBytes);
  return header;
}

WavWriter::~WavWriter() {
  Discard();
}

bool WavWriter::Open(const fs::path& path, std::string* error, WavFormat format) {
  Discard();
  target_ = path;
  format_ = format;
  dataBytes_ = 0;
  writeError_.clear();
  std::string why;
  if (!file_.Open(path, &why)) return Fail(why, error);
  // The sizes are filled in by Finish; until then the header says the data is empty.
  const auto header = WavHeader(0, format_);
  if (std::fwrite(header.data(), 1, header.size(), file_.Stream()) != header.size()) {
    return Fail(std::strerror(errno), error);
  }
  return true;
}

void WavWriter::Append(std::span<const uint8_t> samples) {
  if (file_.Stream() == nullptr || !writeError_.empty() || samples.empty()) return;
  if (dataBytes_ + samples.size() > kWavMaxDataBytes) {
    writeError_ = "the sound is too long for a WAV file";
    return;
  }
  if (std::fwrite(samples.data(), 1, samples.size(), file_.Stream()) != samples.size()) {
    writeError_ = std::strerror(errno);
    return;
  }
  dataBytes_ += samples.size();
}

void WavWriter::Append16(std::span<const int16_t> samples) {
  uint8_t bytes[512];
  while (!samples.empty()) {
    const size_t n = std::min(samples.size(), sizeof bytes / 2);
    for (size_t i = 0; i < n; ++i) Put16(bytes + 2 * i, static_cast<uint16_t>(samples[i]));
    Append(std::span<const uint8_t>(bytes, 2 * n));
    samples = samples.subspan(n);
  }
}

bool WavWriter::Finish(std::string* error) {
  std::FILE* file = file_.Stream();
  if (file == nullptr) return Fail("the file was not opened", error);
  if (!writeError_.empty()) return Fail(writeError_, error);
  const uint32_t size = static_cast<uint32_t>(dataBytes_);
  const auto header = WavHeader(size, format_);
  const uint8_t pad = 0;
  const bool written = ((size & 1) == 0 || std::fwrite(&pad, 1, 1, file) == 1) &&
                       std::fseek(file, 0, SEEK_SET) == 0 &&
                       std::fwrite(header.data(), 1, header.size(), file) == header.size();
  if (!written) return Fail(std::strerror(errno), error);
  std::string why;
  if (!file_.Commit(&why)) return Fail(why, error);
  return true;
}

bool WavWriter::Fail(const std::string& why, std::string* error) {
  Discard();
  *error = "cannot write '" + target_.string() + "': " + why;
  return false;
}

void WavWriter::Discard() {
  file_.Discard();
}

bool WriteWav(const fs::path& path, std::span<const uint8_t> samples, std::string* error) {
  WavWriter writer;
  if (!writer.Open(path, error)) return false;
  writer.Append(samples);
  return writer.Finish(error);
}

}  // namespace vantrel
