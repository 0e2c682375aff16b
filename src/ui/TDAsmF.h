#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>

#include "app/Settings.h"
#include "debugger/CodeView.h"
#include "debugger/Symbols.h"
#include "ui/TBreakpointsF.h"

class QAction;
class QMenu;
class QScrollBar;

namespace vantrel {

class Machine;
class SettingsStore;

// The disassembler panel: memory as Z80 code from a top address, with the execution
// point and a cursor line, jumps along branches and back, and names from a symbol file.
class TDAsmF : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 12;

  TDAsmF(Machine& machine, SettingsStore& store, QWidget* parent = nullptr);
  ~TDAsmF() override;

  // Shown or hidden by the user; remembered in the settings.
  bool Enabled() const { return settings_.Enabled; }
  void SetEnabled(bool enabled);
  void SaveSettings();
  // The machine stopped: the cursor goes to the execution point.
  void FollowPc();
  // Memory changed under the lines: they are laid out again (when the machine stops,
  // if it runs).
  void MemoryChanged();
  // The remembered symbol file, read again at start-up.
  void ReloadSymbols();
  // Replaces the symbols by a file's; a refused file keeps the old ones and is reported.
  bool LoadSymbols(const QString& fileName);
  const SymbolTable& Symbols() const { return symbols_; }

  CodeView& View() { return view_; }
  uint16_t CurrentAddress() const { return view_.CurrentAddress(); }
  uint16_t NextLineAddress() const { return view_.NextLineAddress(); }
  // The columns of a visible line as drawn (address, code, label, mnemonic); hidden
  // columns are empty.
  QStringList RowColumns(int line) const;
  QScrollBar* ScrollBar() const { return scroll_; }
  QWidget* CodeArea() const { return area_; }
  QMenu* ContextMenu() const { return menu_; }
  // A context menu command by its object name ("GoToMI", "JumpImmediateMI", ...).
  QAction* Command(const QString& name) const;

  // The breakpoint list as the lines show it, and the toggle of an execution entry (a
  // double click on a line, or Toggle Breakpoint on the cursor line).
  std::function<BreakMark(uint16_t address)> MarkAt;
  std::function<void(uint16_t address)> ToggleBreakpoint;
  BreakMark RowMark(int line) const {
    return MarkAt ? MarkAt(view_.LineAddress(line)) : BreakMark::None;
  }
  // After the list changed elsewhere: the marks are drawn again.
  void BreakpointsChanged();

  // Set PC on Current Line changed the registers: the other views follow.
  std::function<void()> PcChanged;
  // The window was closed or opened by other means than SetEnabled (its close button).
  std::function<void(bool enabled)> EnabledChanged;
  std::function<void(const QString& caption, const QString& text)> ShowError;
  // A loaded symbol file's summary for the status bar.
  std::function<void(const QString& text)> ShowStatus;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class CodeRows;
  void BuildMenu();
  QAction* AddCommand(QMenu* menu, const char* name, const QString& caption,
                      const QKeySequence& shortcut, std::function<void()> handler);
  void ApplyView();
  void SnapHeight(int requested);
  void Changed();  // after every move: scroll bar and repaint
  void GoToAddress();
  void SetPcOnCurrentLine();
  void ScrollAction(int action);

  Machine& machine_;
  SettingsStore& store_;
  DisassemblerPanelSettings settings_;
  SymbolTable symbols_;
  CodeView view_;
  QWidget* area_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QMenu* menu_ = nullptr;
  std::map<QString, QAction*> commands_;
};

}  // namespace vantrel
