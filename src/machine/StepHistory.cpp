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
  captureDue_ = true;
}

uint64_t StepHistory::Oldest() const {
  if (captures_.empty()) return executed_;
  return std::max(RingOldest(), captures_.front().Step);
}

void StepHistory::BeforeStep(const Machine& m, bool interrupt) {
  if (replaying_) {
    ++executed_;
    return;
  }
  if (captureDue_ || m.ExternalChanges() != seenChanges_ || captures_.empty()) {
    seenChanges_ = m.ExternalChanges();
    captureDue_ = false;
    TakeCapture(m);
  }
  if (executed_ >= ringFloor_ + kEntries) ringFloor_ = executed_ - kEntries + 1;
  HistoryEntry& e = ring_[executed_ % kEntries];
  const Z80Registers& r = m.State.Regs;
  e.Before = r;
  e.Frame = m.State.FrameCount.load(std::memory_order_relaxed);
  for (size_t i = 0; i < e.Bytes.size(); ++i) {
    e.Bytes[i] = m.Mem.PeekByte(static_cast<uint16_t>(r.PC + i));
  }
  e.Interrupt = interrupt;
  ++executed_;
}

void StepHistory::TakeCapture(const Machine& m) {
  Capture c;
  if (!spare_.empty()) {
    c = std::move(spare_.back());
    spare_.pop_back();
  }
  CaptureMachine(m, c.State, captures_.empty() ? nullptr : &captures_.back().State);
  c.Step = executed_;
  c.InputPos = inputBase_ + inputs_.size();
  c.Frame = m.State.FrameCount.load(std::memory_order_relaxed);
  c.Model = m.Mem.Model;
  c.Timing = m.Timing();
  c.TapeSerial = m.Tape.TapeSerial();
  c.RomSum = RomSum(m);
  c.WatchedCore = m.Breaks().WatchesMemory();
  if (!captures_.empty()) {
    const Capture& last = captures_.back();
    if (last.Model != c.Model || last.Timing != c.Timing || last.TapeSerial != c.TapeSerial ||
        last.RomSum != c.RomSum) {
      // The steps before could not be replayed on this machine: the history starts here.
      ringFloor_ = executed_;
      DropCapturesBefore(UINT64_MAX);
    } else if (last.Step == executed_) {
      // Two captures before the same step: the later one holds the change.
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
  // A capture is needed while the next one is later than the oldest step kept.
  const uint64_t oldest = RingOldest();
  while (captures_.size() >= 2 &&
         (captures_[1].Step <= oldest || captures_.size() > kMaxCaptures)) {
    spare_.push_back(std::move(captures_.front()));
    captures_.pop_front();
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

std::string StepHistory::StepBack(Machine& machine) {
  if (executed_ == Oldest()) return "No earlier step in the history";
  return GoBackTo(machine, executed_ - 1);
}

std::string StepHistory::GoBackTo(Machine& m, uint64_t step) {
  if (step < Oldest() || step >= executed_) return "No such step in the history";
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
  const bool paused = m.State.Paused.exchange(false, std::memory_order_relaxed);
  const bool resetHeld = m.State.ResetRequest.exchange(false, std::memory_order_relaxed);
  // Nothing outside the machine hears the replay: no breakpoint, no frame shown.
  m.WireWatchHooks(false);
  m.Cpu.SetPortBus(m.plainBus_);
  m.watchedCpu_.SetPortBus(m.plainBus_);
  m.contendedCpu_.SetPortBus(m.plainBus_);

  m.State.FrameCount.store(start.Frame, std::memory_order_relaxed);
  RestoreMachine(m, start.State);
  executed_ = start.Step;
  replayInput_ = start.InputPos;
  inputOverrun_ = false;
  replaying_ = true;
  // A step that does nothing (a machine held paused) would never arrive.
  uint32_t idle = 0;
  while (executed_ < step && idle < 1000) {
    idle = m.ReplayStep(start.WatchedCore) == StepKind::Idle ? idle + 1 : 0;
  }
  // The step was recorded after the frame end that came due before it.
  if (executed_ == step) m.EndFrameIfDue();
  replaying_ = false;
  m.WireBreakpointPorts();
  m.WireWatchHooks(true);

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
  m.State.Paused.store(paused, std::memory_order_relaxed);
  m.State.ResetRequest.store(resetHeld, std::memory_order_relaxed);
  m.repeat_.Active = false;
  seenChanges_ = m.ExternalChanges();
  frames_ = 0;
  return arrived ? std::string() : "The history could not be replayed to that step";
}

}  // namespace vantrel
