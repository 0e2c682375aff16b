#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "debugger/MemoryBlocks.h"
#include "debugger/MemoryView.h"

class QAction;
class QMenuBar;
class QScrollBar;

namespace vantrel {

class Machine;
class SettingsStore;
class SymbolTable;
class TFindPatternF;
class TGoToAddressForm;
class TLoadMemoryBlockF;

// The memory dump panel ("Memory"): 64 KB in six layouts, a cursor and a block, hex
// editing, search, copy as text, go-to, and the processor's view or one RAM page.
class TMemoryDumpForm : public QWidget {
  Q_OBJECT
 public:
  TMemoryDumpForm(Machine& machine, SettingsStore& store, QWidget* parent = nullptr);

  // Top, cursor and anchor to `address`, raised (with a beep) to the page view's bound.
  void GoToAddress(int address);
  // -1: the processor's view; else the RAM page seen at 49152..65535.
  void SelectPage(int page);
  void SetLayout(DumpLayout layout);
  void SetStatusBarShown(bool shown);
  void SetEditMode(bool on);
  // Copies the block as text to the clipboard.
  void CopyBlock();
  // Starts a search for `pattern` (the "Find" button) or continues it; false when none.
  bool Find(const std::vector<uint8_t>& pattern, bool fromCursor, bool forward);
  bool FindNext();

  const DumpView& View() const { return view_; }
  int Page() const { return page_; }
  bool EditMode() const { return editMode_; }
  bool StatusBarShown() const { return statusBar_; }
  QString StatusText() const;
  QMenuBar* MenuBar() const { return bar_; }
  // Runs the go-to dialog; replaceable so tests answer it.
  std::function<bool(TGoToAddressForm&)> RunGoTo;
  // The debugger's symbols, which typed addresses may name (owned by the disassembler).
  const SymbolTable* Symbols = nullptr;
  // Runs the "Find Pattern" dialog; replaceable so tests answer it.
  std::function<bool(TFindPatternF&)> RunFind;
  // Reports a search that found nothing.
  std::function<void()> NotFound;
  // Runs the "Load Memory Block from File" dialog; true when it loaded.
  std::function<bool(TLoadMemoryBlockF&)> RunLoad;
  // An edit or a loaded block changed memory (at once, or at a running machine's next
  // frame end).
  std::function<void()> MemoryChanged;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // The bytes this view shows: the processor's or the selected page's.
  DumpMemory Shown() const;
  uint8_t Read(uint16_t address) const;
  int CellsTop() const;
  // The menu bar's height, above the area the rows are fitted into.
  int MenuHeight() const;
  // The address under a point of the cell area, or -1.
  int AddressAt(QPoint point) const;
  void BuildMenu();
  void AskGoTo();
  void AskFind();
  // The memory block dialogs, placed 20 pixels right of and below the panel's corner.
  void OpenBlockDialog(bool save);
  void Relayout();
  void SyncScrollBar();
  void TypeNibble(int digit);

  Machine& machine_;
  SettingsStore& store_;
  DumpView view_;
  int page_ = -1;
  bool statusBar_ = true;
  bool editMode_ = false;
  bool highNibble_ = true;
  MemorySearch search_;
  std::vector<uint8_t> pattern_;
  QScrollBar* scroll_;
  QMenuBar* bar_ = nullptr;
  QAction* editItem_ = nullptr;
  std::vector<QAction*> layoutItems_;
  QAction* statusItem_ = nullptr;
};

}  // namespace vantrel
