#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/AutoLoad.h"

namespace vantrel {

class KeyMatrix;

// One typed step of a --keys script: the keys held together ("CS+5" is two keys) and,
// when "@N" was given, the frame the press starts at.
struct KeyStroke {
  std::vector<int> Keys;
  std::optional<uint64_t> StartFrame;
  std::string Text;  // the token as written, for messages
  bool operator==(const KeyStroke&) const = default;
};

// The ROM scans the keyboard once a frame and needs a key down on a few scans before it
// takes it, and up for five more before the same key counts again: the autoload's timing.
inline constexpr uint64_t kKeyHoldFrames = kAutoKeyHoldFrames;
inline constexpr uint64_t kKeyGapFrames = kAutoKeyGapFrames;

// Parses a script of whitespace-separated tokens: a key name (A-Z, 0-9, ENTER, SPACE, CS,
// SS; any case), several joined with '+', each optionally followed by "@N". False with a
// message naming the bad token.
bool ParseKeyScript(std::string_view script, std::vector<KeyStroke>* strokes, std::string* error);

struct KeyEvent {
  uint64_t Frame = 0;  // applied once this many frames have run
  int Key = 0;
  bool Press = false;
  bool operator==(const KeyEvent&) const = default;
};

// The presses and releases of a script laid out frame by frame. A stroke without "@N"
// starts when the one before it has been held and released; the first starts at frame 0.
class KeySchedule {
 public:
  KeySchedule() = default;
  explicit KeySchedule(const std::vector<KeyStroke>& strokes);

  // Events ordered by frame; within a frame releases come first, so a stroke placed with
  // "@N" on the frame another releases the same key still gets a fresh press.
  const std::vector<KeyEvent>& Events() const { return events_; }
  bool Empty() const { return events_.empty(); }

  // Applies every event due by `frame` not applied yet; frames are asked for in order.
  void ApplyFrame(uint64_t frame, KeyMatrix& keys);

 private:
  std::vector<KeyEvent> events_;
  size_t next_ = 0;
};

}  // namespace vantrel
