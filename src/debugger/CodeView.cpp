#include "debugger/CodeView.h"

#include <algorithm>

namespace vantrel {

void CodeView::SetVisible(int lines) {
  visible_ = std::clamp(lines, 1, kMaxLines);
  current_ = std::min(current_, visible_ - 1);
}

void CodeView::SetTop(uint16_t top, int current) {
  top_ = top;
  current_ = std::clamp(current, 0, visible_ - 1);
  Recompute();
}

void CodeView::SetCurrent(int line) {
  current_ = std::clamp(line, 0, visible_ - 1);
}

void CodeView::Recompute() {
  uint16_t address = top_;
  for (uint16_t& line : lines_) {
    line = address;
    address = static_cast<uint16_t>(address + Length(address));
  }
}

void CodeView::StepBack() {
  // Code cannot be read backwards; the longest instruction that would end exactly here is
  // the best guess.
  const auto back = [this](int n) { return static_cast<uint16_t>(top_ - n); };
  if (Length(back(4)) == 4) {
    top_ = back(4);
  } else if (Length(back(3)) >= 3) {
    top_ = back(3);
  } else if (Length(back(2)) >= 2) {
    top_ = back(2);
  } else {
    top_ = back(1);
  }
}

void CodeView::LineDown(bool scroll) {
  if (scroll || current_ >= visible_ - 1) {
    SetTop(lines_[1], current_);
  } else {
    ++current_;
  }
}

void CodeView::LineUp(bool scroll) {
  if (scroll || current_ == 0) {
    StepBack();
    Recompute();
  } else {
    --current_;
  }
}

void CodeView::WheelUp() {
  if (current_ == 0) {
    SetTop(static_cast<uint16_t>(top_ - 1));
  } else {
    --current_;
  }
}

void CodeView::PageDown() {
  SetTop(lines_[static_cast<size_t>(visible_ - 1)], current_);
}

void CodeView::PageUp() {
  for (int i = 0; i < visible_ - 1; ++i) StepBack();
  Recompute();
}

void CodeView::Home(bool ctrl) {
  if (ctrl) top_ = 0;
  current_ = 0;
  Recompute();
}

void CodeView::End(bool ctrl) {
  if (ctrl) {
    // The end of memory: lines stepped back from the wrap to 0, one more than a page.
    top_ = 0;
    for (int i = 0; i < visible_; ++i) StepBack();
  }
  current_ = visible_ - 1;
  Recompute();
}

void CodeView::FollowPc(uint16_t pc) {
  Recompute();
  const uint16_t first = lines_[0];
  const uint16_t last = lines_[static_cast<size_t>(visible_ - 1)];
  // Distances from the top, so a screen that wraps past 0xFFFF still counts as between.
  if (static_cast<uint16_t>(pc - first) <= static_cast<uint16_t>(last - first)) {
    for (int i = 0; i < visible_; ++i) {
      if (lines_[static_cast<size_t>(i)] == pc) {
        current_ = i;
        return;
      }
    }
  }
  // Off the screen, or inside a line laid out from elsewhere: the lines start at it.
  SetTop(pc);
}

void CodeView::GoTo(uint16_t target) {
  for (int i = 0; i < visible_; ++i) {
    if (lines_[static_cast<size_t>(i)] == target) {
      current_ = i;
      return;
    }
  }
  SetTop(target);
}

bool CodeView::JumpImmediate() {
  uint16_t target = 0;
  if (!BranchTarget(bytes_, CurrentAddress(), target)) return false;
  if (jumps_.size() < kJumpStackSize) jumps_.push_back(CurrentAddress());
  GoTo(target);
  return true;
}

bool CodeView::JumpBack() {
  if (jumps_.empty()) return false;
  const uint16_t target = jumps_.back();
  jumps_.pop_back();
  GoTo(target);
  return true;
}

}  // namespace vantrel
