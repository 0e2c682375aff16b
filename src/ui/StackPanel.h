#pragma once

#include <QWidget>
#include <cstdint>

class QScrollBar;
class QTableWidget;

namespace vantrel {

class Memory;

// Where the stack view starts for a given SP: SP sits on the sixth row.
inline uint16_t StackViewStart(uint16_t sp) {
  return static_cast<uint16_t>(sp - 10);
}
// A scroll position keeps SP's parity, so every row shows a whole stacked word.
inline uint16_t AlignStackPosition(int position, uint16_t sp) {
  auto aligned = static_cast<uint16_t>(position);
  if ((aligned ^ sp) & 1) aligned = static_cast<uint16_t>(aligned + 1);
  return aligned;
}

// Sixteen consecutive stack words (address, value) with a scroll bar over the whole
// address space; the row at SP is bold.
class StackPanel : public QWidget {
  Q_OBJECT
 public:
  explicit StackPanel(const Memory& memory, QWidget* parent = nullptr);
  // Scrolls so that SP is the sixth row and redraws.
  void ShowStack(uint16_t sp);
  uint16_t Position() const { return position_; }
  QTableWidget* Grid() const { return grid_; }

 private:
  void Fill();

  const Memory& memory_;
  QTableWidget* grid_;
  QScrollBar* scroll_;
  uint16_t sp_ = 0;
  uint16_t position_ = 0;
};

}  // namespace vantrel
