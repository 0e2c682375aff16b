#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vantrel {

class Machine;

// What an autoload starts: the tape loader of the BASIC ROMs, or (later) a disk's boot.
enum class AutoLoadMedia : uint8_t { Tape, Disk };

// One key change of a typing plan, counted in frames from the moment the ROM is ready.
struct AutoLoadKey {
  uint32_t Frame = 0;
  int8_t Key = 0;
  bool Press = false;
  bool operator==(const AutoLoadKey&) const = default;
};

// The ROM scans the keyboard once a frame: a key must be down on a few scans to be taken,
// and the same key must stay up longer than the ROM's five-frame repeat slot before it
// counts as a new press.
inline constexpr uint32_t kAutoKeyHoldFrames = 3;
inline constexpr uint32_t kAutoKeyGapFrames = 6;

// The mode an autoload resets into. The tape loader lives in the BASIC ROMs, so a tape
// leaves TR-DOS out; a disk boots from TR-DOS.
uint8_t AutoLoadMode(uint8_t startMode, AutoLoadMedia media);

// The keys that start the loader once the ROM of `mode` (an AutoLoadMode) waits for a key:
// LOAD "" and ENTER on the 48K ROM (J is LOAD in the K cursor), ENTER on the 128K menu,
// whose first line is the tape loader; nothing for a disk, which TR-DOS boots itself.
std::vector<AutoLoadKey> AutoLoadPlan(uint8_t mode, AutoLoadMedia media);

// Types a plan into the machine's keyboard, driven by frame ends on the thread that runs
// the machine. Typing starts when the ROM is ready: once its interrupt routine has counted
// the FRAMES system variable up by one on several frame ends in a row, the start-up (which
// runs with interrupts off) is over and the keyboard is scanned.
class AutoLoadTyper {
 public:
  AutoLoadTyper() = default;  // types nothing
  explicit AutoLoadTyper(std::vector<AutoLoadKey> plan) : plan_(std::move(plan)) {}

  // One frame end: applies the key changes now due. False once the plan is typed, or when
  // the ROM never got ready (a program that took over), so the caller can drop the typer.
  bool FrameEnd(Machine& machine);
  bool Done() const { return next_ >= plan_.size(); }

 private:
  std::vector<AutoLoadKey> plan_;
  size_t next_ = 0;
  uint32_t waited_ = 0;  // frame ends before the ROM was ready
  uint32_t typed_ = 0;   // frame ends since it was
  uint16_t lastFrames_ = 0;
  uint32_t steadyTicks_ = 0;
};

// Resets the machine into AutoLoadMode(startMode, media) and returns the typer that starts
// the loader. The machine's StartMode is left as it was, so a later reset goes back to the
// user's mode. Runs on the thread that owns the machine (through Machine::Apply).
AutoLoadTyper StartAutoLoad(Machine& machine, uint8_t startMode, AutoLoadMedia media);

}  // namespace vantrel
