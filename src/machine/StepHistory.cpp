#include "machine/StepHistory.h"

#include <algorithm>
#include <utility>

#include "machine/Machine.h"

namespace vantrel {

namespace {

// Restarts the history when the ROMs changed (another ROM file chosen): a replay from an
// older capture would run the new code.
uint64_t RomSum(const Machine& m) {
  const uint8_t* rom = m.Mem.RomImages();
  uint64_t sum = 0;
  for (size_t i = 0; i < Memory::kRomBytes; i += 8) {
    uint64_t word = 0;
    for (size_t b = 0; b < 8; ++b) word |= uint64_t{rom[i + b]} << (8 * b);
    sum = (sum ^ word) * 0x100000001B3ull;
  }
  return sum;
}

bool SameRegisters(const Z80Registers& a, const Z80Registers& b, uint32_t frameLength) {
  // A replay stops before the step, where the frame end may still be due.
  const uint32_t ta = a.Tackts >= frameLength ? a.Tackts - frameLength : a.Tackts;
  const uint32_t tb = b.Tackts >= frameLength ? b.Tackts - frameLength : b.Tackts;
  return a.AF.Get() == b.AF.Get() && a.BC.Get() == b.BC.Get() && a.DE.Get() == b.DE.Get() &&
         a.HL.Get() == b.HL.Get() && a.IX.Get() == b.IX.Get() && a.IY.Get() == b.IY.Get() &&
         a.IFF1 == b.IFF1 && a.IFF2 == b.IFF2 && a.I == b.I && a.IM == b.IM &&
         a.ReadR() == b.ReadR() && a.PC == b.PC && a.SP == b.SP && a.AltAF == b.AltAF &&
         a.AltBC == b.AltBC && a.AltDE == b.AltDE && a.AltHL == b.AltHL && ta == tb;
}

// What the user holds (keys, joystick, mouse) is not part of the past: a step back
// leaves it as it is.
struct LiveInputs {
  explicit LiveInputs(const Machine& m)
      : joystick(m.Joystick.State.load(std::memory_order_relaxed)),
        mouseX(m.Mouse.X.load(std::memory_order_relaxed)),
        mouseY(m.Mouse.Y.load(std::memory_order_relaxed)),
        buttons(m.Mouse.Buttons.load(std::memory_order_relaxed)) {
    m.Keys.Save(keys);
  }
  void Put(Machine& m) const {
    m.Keys.Restore(keys);
    m.Joystick.State.store(joystick, std::memory_order_relaxed);
    m.Mouse.X.store(mouseX, std::memory_order_relaxed);
    m.Mouse.Y.store(mouseY, std::memory_order_relaxed);
    m.Mouse.Buttons.store(buttons, std::memory_order_relaxed);
  }
  KeyMatrix::Saved keys;
  uint8_t joystick, mouseX, mouseY, buttons;
};

}  // namespace

StepHistory::StepHistory() : ring_(kEntries) {}

void StepHistory::Clear() {
  ringFloor_ = executed_;
  DropCapturesBefore(UINT64_MAX);
  inputBase_ += inputs_.size();
  inputs_.clear();
  complete_ = true;
  frames_ = 0;
}

uint64_t StepHistory::Oldest() const {
  if (captures_.empty()) return executed_;
  return std::max(RingOldest(), captures_.front().Step);
}

void StepHistory::CheckOutsideChange(const Machine& m) {
  if (m.ExternalChanges() == seenChanges_ && !captures_.empty()) return;
  seenChanges_ = m.ExternalChanges();
  TakeCapture(m, true);
}

void StepHistory::FrameStarted(const Machine& m) {
  if (replaying_) return;
  if (++frames_ >= kFramesPerCapture || m.ExternalChanges() != seenChanges_ || captures_.empty()) {
    frames_ = 0;
    const bool changed = m.ExternalChanges() != seenChanges_;
    seenChanges_ = m.ExternalChanges();
    TakeCapture(m, changed);
  }
}

void StepHistory::BeforeStretch(const Machine& m) {
  if (replaying_) return;
  CheckOutsideChange(m);
  complete_ = false;
}

void StepHistory::BeforeStep(const Machine& m, bool interrupt) {
  const Z80Registers& r = m.State.Regs;
  const uint32_t frame = m.State.FrameCount.load(std::memory_order_relaxed);
  if (rebuilding_) {
    // The captures passed on the way get their step numbers.
    while (nextCapture_ < captures_.size() && captures_[nextCapture_].Frame == frame &&
           captures_[nextCapture_].Tackts == r.Tackts) {
      captures_[nextCapture_++].Step = executed_;
    }
  } else if (replaying_) {
    ++executed_;
    return;
  } else {
    CheckOutsideChange(m);
    if (!complete_) return;  // rebuilt with the stretches around it
  }
  if (executed_ >= ringFloor_ + kEntries) ringFloor_ = executed_ - kEntries + 1;
  HistoryEntry& e = ring_[executed_ % kEntries];
  e.Before = r;
  e.Frame = frame;
  for (size_t i = 0; i < e.Bytes.size(); ++i) {
    e.Bytes[i] = m.Mem.PeekByte(static_cast<uint16_t>(r.PC + i));
  }
  e.Interrupt = interrupt;
  ++executed_;
}

void StepHistory::TakeCapture(const Machine& m, bool barrier) {
  Capture c;
  if (!spare_.empty()) {
    c = std::move(spare_.back());
    spare_.pop_back();
  }
  CaptureMachine(m, c.State, captures_.empty() ? nullptr : &captures_.back().State);
  c.Step = executed_;
  c.InputPos = inputBase_ + inputs_.size();
  c.Frame = m.State.FrameCount.load(std::memory_order_relaxed);
  c.Tackts = m.State.Regs.Tackts;
  c.Barrier = barrier;
  c.Model = m.Mem.Model;
  c.Timing = m.Timing();
  c.TapeSerial = m.Tape.TapeSerial();
  // The ROMs change only through a command, which makes a barrier: the periodic captures
  // need not read them again.
  c.RomSum = barrier || captures_.empty() ? RomSum(m) : captures_.back().RomSum;
  c.WatchedCore = m.Breaks().WatchesMemory();
  if (!captures_.empty()) {
    const Capture& last = captures_.back();
    if (last.Model != c.Model || last.Timing != c.Timing || last.TapeSerial != c.TapeSerial ||
        last.RomSum != c.RomSum) {
      // The steps before could not be replayed on this machine: the history starts here.
      if (complete_) ringFloor_ = executed_;
      DropCapturesBefore(UINT64_MAX);
    } else if (last.Frame == c.Frame && last.Tackts == c.Tackts) {
      // Two captures at the same moment: the later one holds the change.
      c.Barrier = c.Barrier || last.Barrier;
      spare_.push_back(std::move(captures_.back()));
      captures_.pop_back();
    }
  }
  captures_.push_back(std::move(c));
  DropUnneeded();
}

void StepHistory::DropCapturesBefore(uint64_t step) {
  while (!captures_.empty() && captures_.front().Step < step) {
    spare_.push_back(std::move(captures_.front()));
    captures_.pop_front();
  }
  // Capture buffers of a large model are a megabyte each: keep a few for reuse.
  if (spare_.size() > 4) spare_.resize(4);
}

void StepHistory::DropUnneeded() {
  const auto dropFront = [this] {
    spare_.push_back(std::move(captures_.front()));
    captures_.pop_front();
  };
  if (complete_) {
    // A capture is needed while the next one is later than the oldest step kept.
    const uint64_t oldest = RingOldest();
    while (captures_.size() >= 2 &&
           (captures_[1].Step <= oldest || captures_.size() > kMaxCaptures)) {
      dropFront();
    }
  } else {
    // A rebuild replays from the front without crossing a change from outside.
    size_t barrier = 0;
    for (size_t i = 0; i < captures_.size(); ++i) {
      if (captures_[i].Barrier) barrier = i;
    }
    const size_t keep = std::min(captures_.size() - barrier, kRebuildCaptures);
    while (captures_.size() > keep) dropFront();
  }
  if (spare_.size() > 4) spare_.resize(4);
  // The bytes read before the oldest capture are no longer replayed.
  const uint64_t keep =
      captures_.empty() ? inputBase_ + inputs_.size() : captures_.front().InputPos;
  if (keep - inputBase_ >= (size_t{1} << 16) && keep - inputBase_ >= inputs_.size() / 2) {
    inputs_.erase(inputs_.begin(), inputs_.begin() + static_cast<ptrdiff_t>(keep - inputBase_));
    inputBase_ = keep;
  }
}

void StepHistory::SetReplaying(Machine& m, bool on) {
  replaying_ = on;
  // What the machine hands outside while the past runs again was handed out the first
  // time: the tape's record head and the tape window hear none of it.
  m.Recorder.Hold(on);
  m.Tape.HoldMailbox(on);
}

template <class Done>
void StepHistory::Replay(Machine& m, const Capture& start, bool rebuild, Done done) {
  // Nothing outside the machine hears the replay: no breakpoint, no frame shown.
  const bool paused = m.State.Paused.exchange(false, std::memory_order_relaxed);
  const bool resetHeld = m.State.ResetRequest.exchange(false, std::memory_order_relaxed);
  m.WireWatchHooks(false);
  m.Cpu.SetPortBus(m.plainBus_);
  m.watchedCpu_.SetPortBus(m.plainBus_);
  m.contendedCpu_.SetPortBus(m.plainBus_);

  m.State.FrameCount.store(start.Frame, std::memory_order_relaxed);
  RestoreMachine(m, start.State);
  replayInput_ = start.InputPos;
  inputOverrun_ = false;
  SetReplaying(m, true);
  rebuilding_ = rebuild;
  // A step that does nothing (a machine held paused) would never arrive.
  uint32_t idle = 0;
  while (!done() && idle < 1000) {
    // A frame end that came due runs before the check of the next step, as it ran.
    if (m.EndFrameIfDue()) continue;
    idle = m.ReplayStep(start.WatchedCore) == StepKind::Idle ? idle + 1 : 0;
  }
  SetReplaying(m, false);
  rebuilding_ = false;
  m.WireBreakpointPorts();
  m.WireWatchHooks(true);
  m.State.Paused.store(paused, std::memory_order_relaxed);
  m.State.ResetRequest.store(resetHeld, std::memory_order_relaxed);
  m.repeat_.Active = false;
}

std::string StepHistory::Complete(Machine& m) {
  if (complete_) return {};
  // An edit since the run ended starts the history where it stands.
  CheckOutsideChange(m);
  const LiveInputs live(m);
  MachineCapture present;
  CaptureMachine(m, present, &captures_.back().State);
  const uint32_t presentFrame = m.State.FrameCount.load(std::memory_order_relaxed);
  const Z80Registers presentRegs = m.State.Regs;
  const uint64_t inputEnd = inputBase_ + inputs_.size();

  // The steps are numbered on from the last ones, in a ring that starts anew.
  ringFloor_ = executed_;
  nextCapture_ = 0;
  const Capture& start = captures_.front();
  Replay(m, start, true, [&] {
    // The present may stand before a frame end that is due: then it is not run.
    const uint32_t frame = m.State.FrameCount.load(std::memory_order_relaxed);
    const uint32_t t = m.State.Regs.Tackts;
    return frame > presentFrame || (frame == presentFrame && t >= presentRegs.Tackts);
  });
  // Captures taken at the present moment (an edit since the run) are passed here.
  while (nextCapture_ < captures_.size() && captures_[nextCapture_].Frame == presentFrame &&
         captures_[nextCapture_].Tackts == presentRegs.Tackts) {
    captures_[nextCapture_++].Step = executed_;
  }
  const bool arrived = m.State.FrameCount.load(std::memory_order_relaxed) == presentFrame &&
                       SameRegisters(m.State.Regs, presentRegs, 0xFFFFFFFF) && !inputOverrun_ &&
                       replayInput_ == inputEnd && nextCapture_ == captures_.size();
  // Exactly as it was, also where the comparison does not look.
  m.State.FrameCount.store(presentFrame, std::memory_order_relaxed);
  RestoreMachine(m, present);
  live.Put(m);
  seenChanges_ = m.ExternalChanges();
  complete_ = true;
  if (!arrived) {
    Clear();
    return "The history could not be rebuilt: it starts here";
  }
  DropUnneeded();
  return {};
}

std::string StepHistory::StepBack(Machine& machine) {
  if (std::string failure = Complete(machine); !failure.empty()) return failure;
  if (executed_ == Oldest()) return "No earlier step in the history";
  return GoBackTo(machine, executed_ - 1);
}

std::string StepHistory::GoBackTo(Machine& m, uint64_t step) {
  if (!complete_ || step < Oldest() || step >= executed_) return "No such step in the history";
  // The newest capture taken before the step.
  auto from = std::upper_bound(captures_.begin(), captures_.end(), step,
                               [](uint64_t s, const Capture& c) { return s < c.Step; });
  if (from == captures_.begin()) return "No such step in the history";
  const Capture& start = *std::prev(from);

  // The present, should the replay not arrive where the history says.
  MachineCapture present;
  CaptureMachine(m, present, &captures_.back().State);
  const uint32_t presentFrame = m.State.FrameCount.load(std::memory_order_relaxed);
  const uint64_t presentExecuted = executed_;
  const LiveInputs live(m);
  executed_ = start.Step;
  Replay(m, start, false, [&] { return executed_ >= step; });
  // The step was recorded after the frame end that came due before it.
  if (executed_ == step) {
    SetReplaying(m, true);
    m.EndFrameIfDue();
    SetReplaying(m, false);
  }

  const bool arrived = executed_ == step && !inputOverrun_ &&
                       SameRegisters(m.State.Regs, At(step).Before, m.State.TacktsPerInt);
  if (!arrived) {
    m.State.FrameCount.store(presentFrame, std::memory_order_relaxed);
    RestoreMachine(m, present);
    executed_ = presentExecuted;
  } else {
    // The steps from here on are the future again: recorded anew as they run.
    inputs_.resize(replayInput_ - inputBase_);
    // The debugger's T-state meter counts from here: the time it started is gone.
    m.State.StartTacktsMeter();
    while (!captures_.empty() && captures_.back().Step > step) {
      spare_.push_back(std::move(captures_.back()));
      captures_.pop_back();
    }
  }
  live.Put(m);
  seenChanges_ = m.ExternalChanges();
  frames_ = 0;
  return arrived ? std::string() : "The history could not be replayed to that step";
}

}  // namespace vantrel
