#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <thread>

namespace vantrel {

// 44100 samples a second: one 882-sample block per 20 ms frame. The machine keeps an
// 8-bit unsigned mono mix (the runner's u8 WAV) and the 16-bit stereo stream the sound
// card plays, interleaved left and right.
inline constexpr uint32_t kSoundSampleRate = 44100;
inline constexpr uint32_t kSoundBlockSize = 882;
// The device plays a looping buffer of three blocks. The machine writes the block after
// the one being played and waits while the play position is in the block before it, so
// the machine runs one frame ahead of the sound card and is paced by its clock.
inline constexpr uint32_t kSoundBlockCount = 3;
inline constexpr uint32_t kSoundBufferSize = kSoundBlockSize * kSoundBlockCount;  // 2646

// The PC's sound device as the machine sees it. The emulation thread calls everything;
// the device's own thread only reads the buffer and advances the play position, so an
// implementation keeps both hand-overs in atomics.
class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // False when no device could be opened: the machine is then paced by the timer.
  virtual bool Active() const = 0;
  // Copies one block of stereo samples (left, right, ...) into the looping buffer at
  // sample `offset` (0, 882 or 1764).
  virtual void WriteBlock(uint32_t offset, std::span<const int16_t> stereo) = 0;
  // The sample offset (0 .. 2645) the device will play next.
  virtual uint32_t PlayPosition() const = 0;
  // The play position once it differs from `last`, or `last` when it has not moved
  // within `timeout`. This one looks every millisecond; a device that can signal its
  // moves lets the caller sleep until then.
  virtual uint32_t WaitForMove(uint32_t last, std::chrono::milliseconds timeout) const {
    for (auto waited = std::chrono::milliseconds(0); waited < timeout; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      const uint32_t position = PlayPosition();
      if (position != last) return position;
    }
    return last;
  }
  // Clears the buffer to silence (0) and plays it looping from offset 0.
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

}  // namespace vantrel
