#pragma once

#include <QWidget>
#include <functional>

#include "debugger/WatchList.h"

class QTableWidget;

namespace vantrel {

class Machine;
class SymbolTable;

// The "Watches" panel: expressions re-evaluated at every stop and refresh, each shown in
// hexadecimal and decimal, a value that changed in bold. The last row adds a watch when
// typed into; editing a row's text changes it, emptying it (or Delete) removes it.
class TWatchesF : public QWidget {
  Q_OBJECT
 public:
  TWatchesF(Machine& machine, std::vector<std::string> expressions, QWidget* parent = nullptr);

  // Evaluates every watch again; nothing while the machine runs.
  void Refresh();
  const WatchList& Watches() const { return watches_; }
  QTableWidget* Table() const { return table_; }
  // Where the names come from (may be null).
  const SymbolTable* Symbols = nullptr;
  // The list changed: the owner keeps it in the settings.
  std::function<void()> Changed;
  // The window was closed by its close button.
  std::function<void()> Closed;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Fill();
  void TextEdited(int row);

  Machine& machine_;
  WatchList watches_;
  QTableWidget* table_;
  bool filling_ = false;
};

}  // namespace vantrel
