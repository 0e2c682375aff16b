#pragma once

#include <QDialog>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "debugger/CpuFields.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

class Machine;
class Memory;
class SymbolTable;

// The register editor: the typed expression previewed as "#" and four hex digits, or a
// red "Error!" with OK disabled.
class RegisterEditor : public QDialog {
  Q_OBJECT
 public:
  // `symbols` and `mem`, when given, let the typed value name symbols and read memory.
  RegisterEditor(const QString& name, uint16_t value, const Z80Registers& regs,
                 QWidget* parent = nullptr, const SymbolTable* symbols = nullptr,
                 const Memory* mem = nullptr);
  uint16_t Value() const { return value_; }
  QLineEdit* Edit() const { return edit_; }
  QLabel* Preview() const { return preview_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  void Evaluate();

  const Z80Registers& regs_;
  const SymbolTable* symbols_;
  const Memory* mem_;
  QLineEdit* edit_;
  QLabel* preview_;
  QPushButton* ok_;
  uint16_t value_ = 0;
};

// The "Z80 CPU" panel: registers, flags, interrupt state and the two clocks. A value that
// changed since the last refresh is bold until a refresh in which it did not change.
class TCpuF : public QWidget {
  Q_OBJECT
 public:
  explicit TCpuF(Machine& machine, QWidget* parent = nullptr);

  // Folds R7 into R and updates every field; nothing while the machine runs.
  void Refresh();
  QLabel* Field(int index) const { return labels_[static_cast<size_t>(index)]; }
  bool Highlighted(int index) const { return highlighted_[static_cast<size_t>(index)]; }
  // A double click on field `index` at `x` pixels from its left edge: toggles a flag or
  // IFF, positions the memory panel (on a register's name) or opens the editor. Refused
  // (a beep) while the machine runs.
  void FieldDoubleClicked(int index, int x);
  // The loaded symbols: the name at PC is shown under the fields, and the register
  // editor takes names.
  const SymbolTable* Symbols = nullptr;
  QLabel* PcSymbol() const { return pcSymbol_; }
  // Where a double click on a register's name sends the memory dump panel.
  std::function<void(uint16_t)> ShowInMemory;
  // Runs the register editor; replaceable so tests answer it without a modal loop.
  std::function<bool(RegisterEditor&)> RunEditor = [](RegisterEditor& editor) {
    return editor.exec() == QDialog::Accepted;
  };

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool Running() const;
  void UpdateField(int index);
  QFont FieldFont(bool bold) const;
  // The fields in the panel's font, the columns spaced by its metrics.
  void ApplyFont();

  Machine& machine_;
  QGridLayout* grid_ = nullptr;
  std::array<QLabel*, kCpuFieldCount> labels_{};
  std::array<uint32_t, kCpuFieldCount> shadow_{};
  std::array<bool, kCpuFieldCount> highlighted_{};
  std::array<bool, kCpuFieldCount> shown_{};
  QLabel* pcSymbol_ = nullptr;
};

}  // namespace vantrel
