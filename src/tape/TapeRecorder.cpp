#include "tape/TapeRecorder.h"

#include "tape/TapePlayer.h"

namespace vantrel {

namespace {

// Pulse lengths in T-states, with room for savers that run a little off the ROM's
// 2168 (pilot), 667 and 735 (syncs), 855 and 1710 (the halves of a 0 and a 1 bit).
constexpr uint32_t kPilotMin = 1800;
constexpr uint32_t kPilotMax = 2600;
constexpr uint32_t kSyncMin = 300;
constexpr uint32_t kSyncMax = 1100;
constexpr uint32_t kMinPilots = 256;
constexpr uint32_t kBitHalfMin = 500;
constexpr uint32_t kBitHalfMax = 2200;
// A bit's two halves: 1710 for a 0, 3420 for a 1.
constexpr uint32_t kOneFrom = 2565;
constexpr uint32_t kLongGap = 0xFFFFFFFF;

bool IsPilot(uint32_t length) {
  return length >= kPilotMin && length <= kPilotMax;
}

bool IsSync(uint32_t length) {
  return length >= kSyncMin && length <= kSyncMax;
}

}  // namespace

void TapeRecorder::SetRecording(bool on) {
  recording_.store(on, std::memory_order_relaxed);
}

uint32_t TapeRecorder::SinceLastEdge() const {
  const uint32_t frames = frames_->load(std::memory_order_relaxed) - lastFrame_;
  if (frames > 1) return kLongGap;
  // The clock goes back by a frame length at each frame end.
  return frames * *tacktsPerInt_ + *tackts_ - lastTackts_;
}

void TapeRecorder::Edge() {
  const uint32_t length = SinceLastEdge();
  lastTackts_ = *tackts_;
  lastFrame_ = frames_->load(std::memory_order_relaxed);
  Pulse(length);
}

void TapeRecorder::Pulse(uint32_t length) {
  switch (phase_) {
    case Phase::Idle:
      if (IsPilot(length)) {
        phase_ = Phase::Pilot;
        pilots_ = 1;
      }
      return;
    case Phase::Pilot:
      if (IsPilot(length)) {
        ++pilots_;
      } else {
        phase_ = pilots_ >= kMinPilots && IsSync(length) ? Phase::Sync2 : Phase::Idle;
      }
      return;
    case Phase::Sync2:
      if (!IsSync(length)) {
        phase_ = Phase::Idle;
        return;
      }
      phase_ = Phase::Data;
      data_.clear();
      firstHalf_ = 0;
      bits_ = 0;
      return;
    case Phase::Data:
      if (length < kBitHalfMin || length > kBitHalfMax) {
        // The signal has stopped or become something else: the block is over.
        EndBlock();
        if (IsPilot(length)) {
          phase_ = Phase::Pilot;
          pilots_ = 1;
        }
        return;
      }
      if (firstHalf_ == 0) {
        firstHalf_ = length;
        return;
      }
      byte_ = static_cast<uint8_t>((byte_ << 1) | (firstHalf_ + length >= kOneFrom ? 1 : 0));
      firstHalf_ = 0;
      if (++bits_ == 8) {
        data_.push_back(byte_);
        bits_ = 0;
      }
      return;
  }
}

void TapeRecorder::Flush() {
  if (phase_ == Phase::Data && SinceLastEdge() > kBitHalfMax) EndBlock();
}

void TapeRecorder::EndBlock() {
  phase_ = Phase::Idle;
  // A bit or byte cut short (the saver's last edge, a border change) is not data.
  if (data_.empty() || data_.size() > 0xFFFF) return;
  blocks_.push_back(data_);
  if (deck_ != nullptr) deck_->AppendStandardBlock(data_);
  data_.clear();
}

}  // namespace vantrel
