#pragma once

#include <cstdint>
#include <span>

namespace vantrel {

// 8-bit unsigned mono samples at 44100 Hz: one 882-byte block per 20 ms frame.
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
  // Copies one block into the looping buffer at `offset` (0, 882 or 1764).
  virtual void WriteBlock(uint32_t offset, std::span<const uint8_t> samples) = 0;
  // The byte offset (0 .. 2645) the device will play next.
  virtual uint32_t PlayPosition() const = 0;
  // Clears the buffer to silence (0) and plays it looping from offset 0.
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

}  // namespace vantrel
