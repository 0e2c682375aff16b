#include "app/AutoLoad.h"

#include "core/MachineState.h"
#include "input/KeyMatrix.h"
#include "machine/Machine.h"

namespace vantrel {

namespace {

constexpr uint16_t kFramesVariable = 23672;  // FRAMES, counted by the ROM's interrupt
constexpr uint32_t kReadyTicks = 5;
// A 128K machine's start-up with its RAM test takes a few seconds at most; a ROM that is
// still not ready after this is not coming, and the keys would land in someone's program.
constexpr uint32_t kMaxWaitFrames = 1500;

constexpr int8_t kKeyJ = static_cast<int8_t>(kKeyLabels.find('J'));
constexpr int8_t kKeyP = static_cast<int8_t>(kKeyLabels.find('P'));

class PlanBuilder {
 public:
  // Keys held together for the hold time, then released for the gap.
  void Stroke(std::initializer_list<int8_t> keys) {
    for (int8_t key : keys) plan_.push_back({frame_, key, true});
    for (int8_t key : keys) plan_.push_back({frame_ + kAutoKeyHoldFrames, key, false});
    frame_ += kAutoKeyHoldFrames + kAutoKeyGapFrames;
  }
  std::vector<AutoLoadKey> Take() { return std::move(plan_); }

 private:
  std::vector<AutoLoadKey> plan_;
  uint32_t frame_ = 0;
};

}  // namespace

uint8_t AutoLoadMode(uint8_t startMode, AutoLoadMedia media) {
  startMode &= kStartTrDos | kStart128k;
  return media == AutoLoadMedia::Tape ? startMode & ~kStartTrDos : startMode | kStartTrDos;
}

std::vector<AutoLoadKey> AutoLoadPlan(uint8_t mode, AutoLoadMedia media) {
  PlanBuilder plan;
  if (media == AutoLoadMedia::Tape) {
    if (mode & kStart128k) {
      plan.Stroke({kKeyEnter});
    } else {
      constexpr int8_t kSymbolShift = kKeySymbolShift;
      plan.Stroke({kKeyJ});
      plan.Stroke({kSymbolShift, kKeyP});
      plan.Stroke({kSymbolShift, kKeyP});
      plan.Stroke({kKeyEnter});
    }
  }
  return plan.Take();
}

bool AutoLoadTyper::FrameEnd(Machine& machine) {
  if (Done()) return false;
  if (steadyTicks_ < kReadyTicks) {
    const uint16_t frames = machine.Mem.PeekWord(kFramesVariable);
    steadyTicks_ = frames == static_cast<uint16_t>(lastFrames_ + 1) ? steadyTicks_ + 1 : 0;
    lastFrames_ = frames;
    if (steadyTicks_ < kReadyTicks && ++waited_ >= kMaxWaitFrames) next_ = plan_.size();
    if (steadyTicks_ < kReadyTicks) return !Done();
  }
  while (next_ < plan_.size() && plan_[next_].Frame <= typed_) {
    const AutoLoadKey& change = plan_[next_++];
    if (change.Press) {
      machine.Keys.PressKey(change.Key);
    } else {
      machine.Keys.ReleaseKey(change.Key);
    }
  }
  ++typed_;
  return !Done();
}

AutoLoadTyper StartAutoLoad(Machine& machine, uint8_t startMode, AutoLoadMedia media) {
  const uint8_t mode = AutoLoadMode(startMode, media);
  const uint8_t userMode = machine.State.StartMode.load(std::memory_order_relaxed);
  machine.State.StartMode.store(mode, std::memory_order_relaxed);
  machine.ResetMachine();
  machine.State.StartMode.store(userMode, std::memory_order_relaxed);
  return AutoLoadTyper(AutoLoadPlan(mode, media));
}

}  // namespace vantrel
