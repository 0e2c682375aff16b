#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>

#include "sound/SoundOutput.h"

namespace vantrel {

// The sound device through SDL2's audio subsystem (only that: the windows are Qt's).
// SDL's audio thread pulls the looping buffer through a callback, so the play position
// is the callback's read position. The stream is 16-bit stereo; each sample pair is one
// atomic word because the emulation thread writes one block while the audio thread reads
// another; relaxed order is enough for the words, and the position is published with
// release so that a block the position has moved past has been read before the
// emulation thread overwrites it.
class SdlSoundOutput final : public SoundOutput {
 public:
  // One stereo sample a word: left in the low half, right in the high half.
  using LoopBuffer = std::array<std::atomic<uint32_t>, kSoundBufferSize>;

  // One block (20 ms) per callback: the position lands on block edges, the machine has a
  // whole frame to write the next block, and the audio thread wakes once a frame.
  static constexpr uint16_t kDeviceSamples = 882;

  // Opens the default device paused. When SDL or the device fails, the object stays
  // inactive, silently: the machine is then paced by its timer.
  SdlSoundOutput();
  ~SdlSoundOutput() override;
  SdlSoundOutput(const SdlSoundOutput&) = delete;
  SdlSoundOutput& operator=(const SdlSoundOutput&) = delete;

  bool Active() const override { return device_ != 0; }
  void WriteBlock(uint32_t offset, std::span<const int16_t> stereo) override;
  uint32_t PlayPosition() const override;
  // Sleeps until the callback moves the position.
  uint32_t WaitForMove(uint32_t last, std::chrono::milliseconds timeout) const override;
  void Start() override;
  void Stop() override;

  // The two halves of the hand-over, on any buffer. WriteLoop stores the stereo samples
  // (left, right, ...) from sample `offset` on, wrapping at the end. ReadLoop fills `out`
  // the same way from `position` on, and returns the position after the last sample read.
  static void WriteLoop(LoopBuffer& loop, uint32_t offset, std::span<const int16_t> stereo);
  static uint32_t ReadLoop(const LoopBuffer& loop, uint32_t position, std::span<int16_t> out);

 private:
  static void FillDevice(void* self, uint8_t* stream, int length);

  LoopBuffer buffer_{};
  std::atomic<uint32_t> position_{0};
  mutable std::mutex moveMutex_;
  mutable std::condition_variable moved_;
  uint32_t device_ = 0;  // SDL_AudioDeviceID; 0 when no device is open
  bool subsystem_ = false;
};

}  // namespace vantrel
