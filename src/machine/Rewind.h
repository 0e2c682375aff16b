#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Memory.h"
#include "machine/MachineCapture.h"

namespace vantrel {

class Machine;

// The last seconds of a running machine, one capture per second of its time (50 frames),
// kept in a ring that reuses its buffers. Stepping back restores one capture at a time,
// newest first; the machine runs on from the one shown and the later ones are dropped.
// Captures and steps happen between two steps of the machine, on the thread that runs it.
class RewindBuffer {
 public:
  static constexpr uint32_t kFramesPerCapture = 50;

  // The seconds kept (0: none). Drops what was kept.
  void SetSeconds(int seconds);
  int Seconds() const { return static_cast<int>(ring_.size()); }

  // Called by the machine once a frame has started; every 50th frame is captured.
  void FrameStarted(const Machine& machine);

  // Restores the next older capture; false when there is none left.
  bool StepBack(Machine& machine);
  // Goes on from the capture shown: the later captures are dropped.
  void RunOn();
  size_t Count() const { return count_; }
  bool SteppedBack() const { return stepped_ != 0; }
  size_t Stepped() const { return stepped_; }

  // The memory the captures hold now (readable from any thread).
  size_t Bytes() const { return bytes_.load(std::memory_order_relaxed); }
  // What `seconds` of captures cost for a model, with a disk in the drive.
  static size_t EstimateBytes(int seconds, MemoryModel model);

 private:
  size_t Slot(size_t back) const { return (newest_ + ring_.size() - back) % ring_.size(); }
  void Recount();
  // The disk tracks a capture holds that its older neighbour does not share.
  size_t OwnTracks(size_t back) const;

  std::vector<MachineCapture> ring_;
  // Per slot: the tracks counted for it by OwnTracks when it came in (or became the oldest).
  std::vector<size_t> ownTracks_;
  size_t newest_ = 0;
  size_t count_ = 0;
  size_t stepped_ = 0;  // captures stepped back, the one shown included
  uint32_t frames_ = 0;
  std::atomic<size_t> bytes_{0};
};

}  // namespace vantrel
