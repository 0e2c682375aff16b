#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "machine/Breakpoints.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace vantrel {

class Memory;
class SymbolTable;
struct Z80Registers;

// How a code line's address stands in the breakpoint list.
enum class BreakMark : uint8_t { None, Enabled, Disabled };

// The "Breakpoints" window: the list (a mark, number, type, argument, pass and condition;
// disabled entries greyed, with a hollow mark) and the editor of one entry. Every change of the
// list goes to `Changed`, which hands it to the machine.
class TBreakpointsF : public QWidget {
  Q_OBJECT
 public:
  explicit TBreakpointsF(const Z80Registers& regs, QWidget* parent = nullptr);

  const std::vector<Breakpoint>& Entries() const { return entries_; }
  int Selected() const { return selected_; }
  void Select(int index);
  std::function<void(const std::vector<Breakpoint>&)> Changed;
  // What typed values and conditions may read besides the registers: memory and the
  // symbols (either may be null).
  void SetEvaluationContext(const Memory* mem, const SymbolTable* symbols);

  // The disassembler's toggle: removes the execution entries at `address`, or adds an
  // enabled one when there is none. False when the list is full.
  bool ToggleExecution(uint16_t address);
  // The mark of the execution entries at `address`: enabled wins over disabled.
  BreakMark ExecutionMark(uint16_t address) const;

  // The buttons, for tests and the keyboard.
  void AddEntry();
  void EditEntry();
  void SaveEntry();
  void CancelEdit();
  void DeleteEntry();
  void SetSelectedEnabled(bool enabled);

  QComboBox* TypeBox() const { return type_; }
  QLineEdit* ArgumentEdit() const { return argument_; }
  QLineEdit* PassEdit() const { return pass_; }
  QLineEdit* ConditionEdit() const { return condition_; }
  // The evaluator's message for a condition that does not parse, else empty.
  QLabel* ConditionError() const { return conditionError_; }
  QLabel* ArgumentLabel() const { return argumentLabel_; }
  QPushButton* SaveButton() const { return save_; }
  QTableWidget* List() const { return list_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Validate();
  void ShowEntry(const Breakpoint& entry);
  void SetEditing(bool editing);
  void FillList();
  void Publish();

  const Z80Registers& regs_;
  const Memory* mem_ = nullptr;
  const SymbolTable* symbols_ = nullptr;
  std::vector<Breakpoint> entries_;
  int selected_ = -1;
  int editingIndex_ = -1;  // -1: a new entry
  bool editing_ = false;
  Breakpoint pending_;
  QTableWidget* list_;
  QComboBox* type_;
  QLabel* argumentLabel_;
  QLineEdit* argument_;
  QLineEdit* pass_;
  QLineEdit* condition_;
  QLabel* conditionError_;
  QPushButton* add_;
  QPushButton* edit_;
  QPushButton* save_;
  QPushButton* cancel_;
  QPushButton* delete_;
  QPushButton* disable_;
  QPushButton* enable_;
};

}  // namespace vantrel
