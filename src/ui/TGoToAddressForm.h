#pragma once

#include <QDialog>
#include <cstdint>

#include "core/Z80Registers.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace vantrel {

class SettingsStore;
class SymbolTable;

// Asks for an address as an expression, with a history of what was typed before; the
// value is shown as it is typed, an error as "Error!".
class TGoToAddressForm : public QDialog {
  Q_OBJECT
 public:
  TGoToAddressForm(SettingsStore& store, const Z80Registers& regs, const SymbolTable* symbols,
                   QWidget* parent = nullptr);
  ~TGoToAddressForm() override;

  // The low 16 bits of the last expression that evaluated.
  uint16_t Address() const { return address_; }
  QComboBox* History() const { return history_; }
  QLabel* ResultLabel() const { return result_; }
  QPushButton* GoButton() const { return go_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Evaluate(const QString& text);
  void Accept();

  SettingsStore& store_;
  const Z80Registers& regs_;
  const SymbolTable* symbols_;
  QComboBox* history_;
  QLabel* result_;
  QPushButton* go_;
  uint16_t address_ = 0;
};

}  // namespace vantrel
