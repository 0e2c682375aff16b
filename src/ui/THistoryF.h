#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class QLabel;
class QPushButton;
class QTableView;

namespace vantrel {

class StepHistory;
class SymbolTable;
class HistoryModel;

// The "History" panel: the instructions the machine executed last, oldest first, each
// with its T-state in the frame, address, bytes, disassembly and the registers before
// it. A double click (or Go Back Here) puts the machine back before the chosen one.
class THistoryF : public QWidget {
  Q_OBJECT
 public:
  explicit THistoryF(QWidget* parent = nullptr);
  ~THistoryF() override;

  // Shows the history as it stands (nullptr: none is kept); while the machine runs only
  // a note says so, as the history is the emulation thread's.
  void Refresh(const StepHistory* history, bool running);

  // Where the names come from (may be null).
  const SymbolTable* Symbols = nullptr;
  // The user chose to go back to `step`.
  std::function<void(uint64_t step)> GoBack;
  // The window was closed by its close button.
  std::function<void()> Closed;

  QTableView* Table() const { return table_; }
  QPushButton* GoBackButton() const { return goBack_; }
  QLabel* Note() const { return note_; }
  // The step a row shows.
  uint64_t StepOfRow(int row) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void GoBackToCurrent();

  HistoryModel* model_;
  QTableView* table_;
  QLabel* note_;
  QPushButton* goBack_;
};

}  // namespace vantrel
