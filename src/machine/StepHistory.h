#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/Memory.h"
#include "core/UlaTiming.h"
#include "core/Z80Registers.h"
#include "machine/MachineCapture.h"

namespace vantrel {

class Machine;

// One executed step: the registers before it (the frame's T-state included), the bytes
// it ran as they were then (code may change itself later) and whether it took an
// interrupt instead of an instruction.
struct HistoryEntry {
  Z80Registers Before;
  uint32_t Frame = 0;  // the machine's frame count
  std::array<uint8_t, 4> Bytes{};
  bool Interrupt = false;
};

// The last steps a machine executed and the means to go back to any of them.
//
// Going back restores the newest whole-machine capture taken before the step and runs
// the machine forward again to it. For that replay to be exact, what comes from outside
// the machine is recorded as the machine sees it: every byte read from the keyboard,
// Kempston joystick and mouse ports, and which frame ends were shown (the flash phase
// follows them). A change made from outside between two steps (a command, an edited
// register, a loaded file) is followed by a capture, so no replay crosses one; a new
// tape, another memory model, timing or ROM cuts the history there, as the captures
// before it could not be replayed with them.
//
// Steps run one at a time (the debugger's, a breakpoint's, a playing tape's) are
// recorded as they run. Stretches run in the processor's own loop are not, so that
// keeping a history costs a running machine next to nothing: they leave the history
// incomplete, and Complete rebuilds its steps by replaying from the captures, which are
// taken at frame starts while it runs. A change from outside also starts the stretch a
// rebuild replays from.
//
// Recording runs on the thread that runs the machine; completing and going back only
// while no thread runs it.
class StepHistory {
 public:
  static constexpr size_t kEntries = 100000;
  // A capture every half second of machine time bounds a step back's replay to 25
  // frames (a few milliseconds) and costs a running machine little.
  static constexpr uint32_t kFramesPerCapture = 25;
  // Captures forced by outside changes are many when the user edits while stepping.
  static constexpr size_t kMaxCaptures = 64;
  // While incomplete: the captures kept for a rebuild, enough for the ring's steps
  // (100,000 steps are 6 to 35 frames).
  static constexpr size_t kRebuildCaptures = 4;

  StepHistory();
  // Forgets every step and capture.
  void Clear();

  // Rebuilds the steps run since the history was last complete (nothing when it is).
  // Empty when done, else what went wrong: the history then starts at the present.
  std::string Complete(Machine& machine);
  bool IsComplete() const { return complete_; }

  // The queries below hold for a complete history.
  // The number of steps recorded so far: the next step gets this number.
  uint64_t Executed() const { return executed_; }
  // The oldest step the machine can go back to (Executed() when there is none).
  uint64_t Oldest() const;
  // A step from Oldest() to Executed() - 1.
  const HistoryEntry& At(uint64_t step) const { return ring_[step % kEntries]; }

  // Puts the machine back as it stood before `step` (memory, registers, devices,
  // T-state); the steps from there on are forgotten and recorded again as the machine
  // runs on. Empty when done, else what went wrong (the machine is then unchanged).
  // StepBack completes the history first; GoBackTo takes a step of a complete one.
  std::string GoBackTo(Machine& machine, uint64_t step);
  std::string StepBack(Machine& machine);

  // From the machine: before each step that executes (`interrupt`: it accepts one).
  void BeforeStep(const Machine& machine, bool interrupt);
  // From the machine: a frame has started.
  void FrameStarted(const Machine& machine);
  // From the machine: a stretch is about to run in the processor's own loop.
  void BeforeStretch(const Machine& machine);
  // From the port decoder: a byte from outside the machine. Recorded while running,
  // given back while replaying.
  uint8_t Input(uint8_t live) {
    if (!replaying_) {
      inputs_.push_back(live);
      return live;
    }
    if (replayInput_ - inputBase_ < inputs_.size()) return inputs_[replayInput_++ - inputBase_];
    inputOverrun_ = true;
    return live;
  }
  bool Replaying() const { return replaying_; }

 private:
  struct Capture {
    MachineCapture State;
    uint64_t Step = 0;
    uint64_t InputPos = 0;
    uint32_t Frame = 0;
    // What a capture does not hold but its replay needs as it was.
    MemoryModel Model = MemoryModel::Spectrum128k;
    MachineTiming Timing = MachineTiming::Default;
    uint32_t TapeSerial = 0;
    uint64_t RomSum = 0;
    bool WatchedCore = false;
    uint32_t Tackts = 0;   // where in its frame it was taken
    bool Barrier = false;  // taken after a change from outside
  };
  void TakeCapture(const Machine& machine, bool barrier);
  void SetReplaying(Machine& machine, bool on);
  void CheckOutsideChange(const Machine& machine);
  // Runs the machine from `start` while the history replays: nothing outside hears it.
  // `done` is asked before each step.
  template <class Done>
  void Replay(Machine& machine, const Capture& start, bool rebuild, Done done);
  void DropCapturesBefore(uint64_t step);
  void DropUnneeded();
  uint64_t RingOldest() const { return ringFloor_; }

  std::vector<HistoryEntry> ring_;
  uint64_t executed_ = 0;
  // The oldest entry still in the ring: the first since the history was cut, or the one
  // after the last overwritten (going back does not bring those back).
  uint64_t ringFloor_ = 0;
  std::deque<Capture> captures_;
  std::vector<Capture> spare_;  // buffers of dropped captures, reused
  std::vector<uint8_t> inputs_;
  uint64_t inputBase_ = 0;  // the number of the first byte in inputs_
  uint64_t replayInput_ = 0;
  bool inputOverrun_ = false;
  bool replaying_ = false;
  bool rebuilding_ = false;  // replaying and recording the steps anew
  size_t nextCapture_ = 0;   // while rebuilding: the next capture to pass
  bool complete_ = true;
  uint32_t frames_ = 0;
  uint32_t seenChanges_ = 0;
};

}  // namespace vantrel
