#include "tape/TapeWriter.h"

#include <algorithm>

#include "tape/TapePlayer.h"

namespace vantrel {

namespace {

constexpr uint16_t kPauseMilliseconds = 1000;

void PutWord(std::vector<uint8_t>& bytes, uint32_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
}

uint32_t WordAt(const std::vector<uint8_t>& bytes, uint32_t at) {
  return at + 1 < bytes.size() ? bytes[at] | (bytes[at + 1] << 8) : 0;
}

}  // namespace

bool AppendStandardBlock(TapeCatalogue& tape, std::span<const uint8_t> data, BlockInfoMode mode) {
  if (data.size() > 0xFFFF) return false;
  if (tape.Kind == TapeKind::None) {
    tape = TapeCatalogue();
    tape.Kind = TapeKind::Tap;
  }
  std::vector<uint8_t>& image = tape.TapeImage;
  if (tape.BlockStart.empty()) tape.BlockStart.push_back(static_cast<uint32_t>(image.size()));
  size_t lengthAt = image.size();
  if (tape.Kind == TapeKind::Tzx) {
    image.push_back(0x10);
    PutWord(image, kPauseMilliseconds);
    lengthAt = image.size();
  }
  PutWord(image, static_cast<uint32_t>(data.size()));
  image.insert(image.end(), data.begin(), data.end());
  tape.BlockStart.push_back(static_cast<uint32_t>(image.size()));
  tape.BlockRow.push_back(static_cast<uint32_t>(tape.Rows.size()));
  tape.Rows.push_back(DescribeDataBlock(image, lengthAt, "", mode));
  return true;
}

bool FitsTap(const TapeCatalogue& tape) {
  if (tape.Kind == TapeKind::Tap) return true;
  if (tape.Kind != TapeKind::Tzx) return false;
  for (uint32_t block = 0; block < tape.BlockCount(); ++block) {
    const uint32_t at = tape.BlockStart[block];
    if (at >= tape.TapeImage.size() || tape.TapeImage[at] != 0x10) return false;
  }
  return true;
}

std::vector<uint8_t> TapeFileBytes(const TapeCatalogue& tape) {
  if (tape.Kind != TapeKind::Tzx || !FitsTap(tape)) return tape.TapeImage;
  std::vector<uint8_t> tap;
  for (uint32_t block = 0; block < tape.BlockCount(); ++block) {
    // A 0x10 block: ID, pause, length, data; its TAP form is the length and the data.
    const uint32_t at = tape.BlockStart[block];
    const uint32_t length = WordAt(tape.TapeImage, at + 3);
    const uint32_t end = std::min<uint32_t>(at + 5 + length, tape.BlockStart[block + 1]);
    PutWord(tap, end - (at + 5));
    tap.insert(tap.end(), tape.TapeImage.begin() + at + 5, tape.TapeImage.begin() + end);
  }
  return tap;
}

void TapePlayer::AppendStandardBlock(std::span<const uint8_t> data) {
  if (vantrel::AppendStandardBlock(tape_, data)) {
    tapeSerial_.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace vantrel
