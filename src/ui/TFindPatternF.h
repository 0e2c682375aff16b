#pragma once

#include <QDialog>
#include <cstdint>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vantrel {

struct Z80Registers;

// "Find Pattern": the pattern text with a hint of its first 20 bytes (or a red "Error!"),
// the origin (from the cursor or the entire scope) and the direction.
class TFindPatternF : public QDialog {
  Q_OBJECT
 public:
  explicit TFindPatternF(const Z80Registers& regs, QWidget* parent = nullptr);

  const std::vector<uint8_t>& Pattern() const { return pattern_; }
  bool FromCursor() const;
  bool Forward() const;
  QLineEdit* PatternEdit() const { return text_; }
  QLabel* Hint() const { return hint_; }
  QPushButton* FindButton() const { return find_; }

 private:
  void Evaluate();

  const Z80Registers& regs_;
  std::vector<uint8_t> pattern_;
  QLineEdit* text_;
  QLabel* hint_;
  QRadioButton* fromCursor_;
  QRadioButton* backward_;
  QPushButton* find_;
};

}  // namespace vantrel
