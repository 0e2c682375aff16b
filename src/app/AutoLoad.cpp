#include "app/AutoLoad.h"

#include <memory>

#include "core/MachineState.h"
#include "disk/TrDosImage.h"
#include "input/KeyMatrix.h"
#include "machine/Machine.h"

namespace vantrel {

namespace {

constexpr uint16_t kFramesVariable = 23672;  // FRAMES, counted by the ROM's interrupt
constexpr uint32_t kReadyTicks = 5;
// A 128K ROM's start-up also calls the 48K ROM for a while with interrupts on; the ROM
// that waits for keys is the one that stays at 0x0000.
constexpr uint32_t kSteadyRomTicks = 25;
// A 128K machine's start-up with its RAM test takes a few seconds at most; a ROM that is
// still not ready after this is not coming, and the keys would land in someone's program.
constexpr uint32_t kMaxWaitFrames = 1500;

constexpr uint16_t kELineVariable = 23641;  // E_LINE, where the line being typed starts
constexpr uint8_t kLoadToken = 0xEF;

constexpr int8_t KeyOf(char c) {
  return static_cast<int8_t>(kKeyLabels.find(c));
}
constexpr int8_t kSymbolShift = kKeySymbolShift;
constexpr int8_t kCapsShift = kKeyCapsShift;

class PlanBuilder {
 public:
  explicit PlanBuilder(std::vector<AutoLoadKey>& plan, uint32_t frame = 0)
      : plan_(plan), frame_(frame) {}
  // Keys held together for the hold time, then released for the gap.
  void Stroke(std::initializer_list<int8_t> keys) {
    for (int8_t key : keys) plan_.push_back({frame_, key, true});
    for (int8_t key : keys) plan_.push_back({frame_ + kAutoKeyHoldFrames, key, false});
    frame_ += kAutoKeyHoldFrames + kAutoKeyGapFrames;
  }
  uint32_t Frame() const { return frame_; }

 private:
  std::vector<AutoLoadKey>& plan_;
  uint32_t frame_;
};

// LOAD "" and ENTER, once the keyword itself is on the line.
void TypeQuotesAndEnter(PlanBuilder& plan) {
  plan.Stroke({kSymbolShift, KeyOf('P')});
  plan.Stroke({kSymbolShift, KeyOf('P')});
  plan.Stroke({kKeyEnter});
}

void TypeLoadWord(PlanBuilder& plan) {
  for (char c : {'L', 'O', 'A', 'D'}) plan.Stroke({KeyOf(c)});
}

}  // namespace

uint8_t AutoLoadMode(uint8_t startMode, AutoLoadMedia media) {
  startMode &= kStartTrDos | kStart128k;
  return media == AutoLoadMedia::Tape ? startMode & ~kStartTrDos : startMode | kStartTrDos;
}

std::optional<KeywordEntry> KeywordEntryAfterJ(const Machine& machine) {
  const Memory& mem = machine.Mem;
  const uint8_t first = mem.PeekByte(mem.PeekWord(kELineVariable));
  if (first == kLoadToken) return KeywordEntry::Token;
  if (first == 'j' || first == 'J') return KeywordEntry::Letters;
  return std::nullopt;
}

void AutoLoadTyper::Begin(Machine& machine) {
  Memory& mem = machine.Mem;
  PlanBuilder plan(plan_);
  if (media_ == AutoLoadMedia::Disk) {
    // TR-DOS takes keywords as the 48K ROM does: K at the prompt is LIST.
    plan.Stroke({KeyOf('K')});
    plan.Stroke({kKeyEnter});
    return;
  }
  if (mem.RomWindow() == mem.Rom128k()) {
    plan.Stroke({kKeyEnter});  // the menu's first line is the tape loader
    return;
  }
  // J alone first: what the line shows then says how the rest is typed.
  plan.Stroke({KeyOf('J')});
  probeFrame_ = plan.Frame();
}

void AutoLoadTyper::Press(Machine& machine) {
  while (next_ < plan_.size() && plan_[next_].Frame <= typed_) {
    const AutoLoadKey& change = plan_[next_++];
    if (change.Press) {
      machine.Keys.PressKey(change.Key);
    } else {
      machine.Keys.ReleaseKey(change.Key);
    }
  }
}

bool AutoLoadTyper::FrameEnd(Machine& machine) {
  if (idle_) return false;
  if (!ready_) {
    const uint16_t frames = machine.Mem.PeekWord(kFramesVariable);
    steadyTicks_ = frames == static_cast<uint16_t>(lastFrames_ + 1) ? steadyTicks_ + 1 : 0;
    lastFrames_ = frames;
    const uint8_t* rom = machine.Mem.RomWindow();
    romTicks_ = rom == lastRom_ ? romTicks_ + 1 : 0;
    lastRom_ = rom;
    if (steadyTicks_ < kReadyTicks || romTicks_ < kSteadyRomTicks) {
      if (++waited_ >= kMaxWaitFrames) idle_ = true;
      return !idle_;
    }
    ready_ = true;
    Begin(machine);
  }
  if (probeFrame_ && typed_ >= *probeFrame_) {
    probeFrame_.reset();
    PlanBuilder plan(plan_, typed_);
    // On a line that shows neither, more keys would only add to what nobody reads.
    const std::optional<KeywordEntry> entry = KeywordEntryAfterJ(machine);
    if (entry == KeywordEntry::Letters) {
      plan.Stroke({kCapsShift, KeyOf('0')});  // DELETE takes the letter back
      TypeLoadWord(plan);
    }
    if (entry) TypeQuotesAndEnter(plan);
  }
  Press(machine);
  ++typed_;
  // The ROM has taken the command; its loader's DI starts the tape.
  if (next_ >= plan_.size() && !probeFrame_) idle_ = true;
  return !idle_;
}

AutoLoadTyper StartAutoLoad(Machine& machine, uint8_t startMode, AutoLoadMedia media) {
  const uint8_t mode = AutoLoadMode(startMode, media);
  const uint8_t userMode = machine.State.StartMode.load(std::memory_order_relaxed);
  machine.State.StartMode.store(mode, std::memory_order_relaxed);
  machine.ResetMachine();
  machine.State.StartMode.store(userMode, std::memory_order_relaxed);
  if (media == AutoLoadMedia::Disk) {
    auto image = std::make_unique<TrdImage>();
    ExtractTrdFromTracks(*machine.Disks[0], *image);
    return AutoLoadTyper(media, HasBootFile(*image));
  }
  return AutoLoadTyper(media);
}

}  // namespace vantrel
