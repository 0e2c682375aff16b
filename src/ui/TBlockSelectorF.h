#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace vantrel {

// "Select tape part for loading": the entries of a tape's select block. The tape waits,
// stopped, until the user picks one.
class TBlockSelectorF : public QDialog {
  Q_OBJECT
 public:
  // What Choose returns for "Stop Tape", closing, or no row selected.
  static constexpr int kNoChoice = 255;

  explicit TBlockSelectorF(QWidget* parent = nullptr);

  // Modal: the index of the entry chosen with "Continue", or kNoChoice.
  int Choose(const std::vector<std::string>& texts);

  QListWidget* SelectionList() const { return list_; }
  QPushButton* ContinueButton() const { return continue_; }
  QPushButton* StopButton() const { return stop_; }

 private:
  QListWidget* list_;
  QPushButton* continue_;
  QPushButton* stop_;
};

}  // namespace vantrel
