#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "debugger/Disassembler.h"

namespace vantrel {

// What the disassembler panel shows: a top address, the lines laid out from it by
// instruction length, the current (cursor) line and the jump-back stack. The panel only
// draws it and maps keys, wheel and scroll bar onto it.
class CodeView {
 public:
  static constexpr int kMaxLines = 150;
  static constexpr size_t kJumpStackSize = 100;

  explicit CodeView(ByteSource bytes) : bytes_(std::move(bytes)) { Recompute(); }

  uint16_t Top() const { return top_; }
  int Current() const { return current_; }
  int Visible() const { return visible_; }
  uint16_t LineAddress(int line) const { return lines_[static_cast<size_t>(line)]; }
  uint16_t CurrentAddress() const { return LineAddress(current_); }
  // Where the line after the cursor line starts (Run to Next Line).
  uint16_t NextLineAddress() const { return LineAddress(current_ + 1); }
  size_t JumpDepth() const { return jumps_.size(); }

  void SetVisible(int lines);
  void SetTop(uint16_t top, int current = 0);
  void SetCurrent(int line);
  // Memory changed under the lines.
  void Recompute();

  void LineDown(bool scroll);  // down arrow; `scroll` with Ctrl
  void LineUp(bool scroll);    // up arrow
  void WheelUp();              // on line 0 one byte back, else the cursor moves up
  void PageDown();
  void PageUp();
  void Home(bool ctrl);
  void End(bool ctrl);
  // The cursor follows the execution point when a shown line starts at it; otherwise
  // the lines start at it.
  void FollowPc(uint16_t pc);
  // Follows the branch on the cursor line, remembering where from; false when the line
  // is not a branch.
  bool JumpImmediate();
  bool JumpBack();

 private:
  void StepBack();
  void GoTo(uint16_t target);
  int Length(uint16_t address) const { return InstructionLength(bytes_, address); }

  ByteSource bytes_;
  uint16_t top_ = 0;
  int current_ = 0;
  int visible_ = 20;
  std::array<uint16_t, kMaxLines + 1> lines_{};  // one past the last, for its length
  std::vector<uint16_t> jumps_;
};

}  // namespace vantrel
