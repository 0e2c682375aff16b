#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "core/FrameTiming.h"

namespace vantrel {

class TapePlayer;

// The deck's record head: while recording, the MIC output (bit 3 of the ULA port) is
// timed edge by edge and standard-speed blocks in it (the ROM saver's pilot, syncs and
// bit pulses, within a tolerance) become data blocks, appended to the tape in the deck.
// Whatever saves them, the ROM or a program, is recorded; other signals are ignored.
//
// Threads: SetRecording comes from any thread; everything else runs on the thread that
// runs the machine.
class TapeRecorder {
 public:
  // The frame clock, the frame length and the frame count the edges are timed by.
  void Connect(const uint32_t* tackts, const uint32_t* tacktsPerInt,
               const std::atomic<uint32_t>* frames) {
    tackts_ = tackts;
    tacktsPerInt_ = tacktsPerInt;
    frames_ = frames;
  }
  // The deck that receives the finished blocks (none: they are only kept here).
  void SetDeck(TapePlayer* deck) { deck_ = deck; }

  void SetRecording(bool on);
  bool Recording() const { return recording_.load(std::memory_order_relaxed); }

  // While the step history replays the past, the record head hears nothing: it recorded
  // those pulses the first time. Thread that runs the machine only.
  void Hold(bool held) { held_ = held; }

  // A write to the ULA port at `tackts`.
  void UlaPortWrite(uint8_t value) {
    if (held_ || !recording_.load(std::memory_order_relaxed)) return;
    const uint8_t mic = value & 0x08;
    if (mic == mic_) return;
    mic_ = mic;
    Edge();
  }

  // Ends a block whose signal has stopped (called before the blocks are read).
  void Flush();
  // Every block recorded since the recorder was made: flag byte, data, parity byte.
  const std::vector<std::vector<uint8_t>>& Blocks() const { return blocks_; }

 private:
  enum class Phase : uint8_t { Idle, Pilot, Sync2, Data };
  void Edge();
  // The time since the last edge in T-states, capped for gaps of more than a frame.
  uint32_t SinceLastEdge() const;
  void Pulse(uint32_t length);
  void EndBlock();

  uint32_t ownZero_ = 0;
  std::atomic<uint32_t> ownFrames_{0};
  uint32_t ownFrameLength_ = kDefaultTacktsPerInt;
  const uint32_t* tackts_ = &ownZero_;
  const uint32_t* tacktsPerInt_ = &ownFrameLength_;
  const std::atomic<uint32_t>* frames_ = &ownFrames_;
  TapePlayer* deck_ = nullptr;

  std::atomic<bool> recording_{false};
  bool held_ = false;
  uint8_t mic_ = 0;
  uint32_t lastTackts_ = 0;
  uint32_t lastFrame_ = 0;
  Phase phase_ = Phase::Idle;
  uint32_t pilots_ = 0;
  uint32_t firstHalf_ = 0;  // the first pulse of a bit, 0 before it
  uint8_t byte_ = 0;
  int bits_ = 0;
  std::vector<uint8_t> data_;
  std::vector<std::vector<uint8_t>> blocks_;
};

}  // namespace vantrel
