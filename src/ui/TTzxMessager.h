#pragma once

#include <QWidget>

class QPlainTextEdit;
class QTimer;

namespace vantrel {

// "  TZX Message": the text of a tape's message block, shown for the seconds the block
// asks for (0: until the user closes it). The tape does not wait for it.
class TTzxMessager : public QWidget {
  Q_OBJECT
 public:
  explicit TTzxMessager(QWidget* parent = nullptr);

  // Replaces whatever is shown; a carriage return starts a new line.
  void ShowMessage(const QString& text, int seconds);

  QPlainTextEdit* TextBox() const { return text_; }
  int SecondsLeft() const { return seconds_; }
  // One tick of the one-second timer (tests call it instead of waiting).
  void Tick();

 private:
  QPlainTextEdit* text_;
  QTimer* timer_;
  int seconds_ = 0;
};

}  // namespace vantrel
