#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantrel {

class Machine;

// What an autoload starts: the tape loader of the BASIC ROMs, or a disk's boot file.
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

// How a BASIC ROM takes keywords: J at the start of a line gives LOAD as one token (the
// 48K ROM's K cursor), or a letter, the word being spelled out (OpenSE BASIC).
enum class KeywordEntry : uint8_t { Token, Letters };

// What the ROM made of J typed at the start of an empty line, read back from the edit
// line (E_LINE); nullopt when the line shows neither.
std::optional<KeywordEntry> KeywordEntryAfterJ(const Machine& machine);

// Types what starts the loader into the machine's keyboard, driven by frame ends on the
// thread that runs the machine. Typing starts when the ROM is ready: once its interrupt
// routine has counted the FRAMES system variable up by one on several frame ends in a
// row, the start-up (which runs with interrupts off) is over and the keyboard is scanned.
// Then the ROM that stays at 0x0000 decides the keys: the 128K editor ROM shows its menu;
// a BASIC ROM gets J, and the edit line tells whether it took a keyword or a letter.
class AutoLoadTyper {
 public:
  AutoLoadTyper() = default;  // types nothing
  // A disk with a boot file needs no keys: the reset into TR-DOS runs it. One without
  // gets LIST at the A> prompt, so the user sees what is on it.
  explicit AutoLoadTyper(AutoLoadMedia media, bool diskHasBoot = true)
      : idle_(media == AutoLoadMedia::Disk && diskHasBoot), media_(media) {}

  // One frame end: applies the key changes now due. False once the plan is typed, or when
  // the ROM never got ready (a program that took over), so the caller can drop the typer.
  bool FrameEnd(Machine& machine);
  bool Done() const { return idle_; }

 private:
  void Begin(Machine& machine);
  void Press(Machine& machine);

  bool idle_ = true;
  AutoLoadMedia media_ = AutoLoadMedia::Tape;
  bool ready_ = false;
  std::vector<AutoLoadKey> plan_;
  size_t next_ = 0;
  std::optional<uint32_t> probeFrame_;  // when to read back what the first key gave
  uint32_t waited_ = 0;                 // frame ends before the ROM was ready
  uint32_t typed_ = 0;                  // frame ends since it was
  uint16_t lastFrames_ = 0;
  uint32_t steadyTicks_ = 0;
  const uint8_t* lastRom_ = nullptr;  // the ROM at 0x0000 at the last frame end
  uint32_t romTicks_ = 0;             // frame ends it has stayed there
};

// Resets the machine into AutoLoadMode(startMode, media) and returns the typer that starts
// the loader (for a disk in drive A without a boot file, the one that lists it). The machine's
// StartMode is left as it was, so a later reset goes back to the user's mode. Runs on the thread
// that owns the machine (through Machine::Apply).
AutoLoadTyper StartAutoLoad(Machine& machine, uint8_t startMode, AutoLoadMedia media);

}  // namespace vantrel
