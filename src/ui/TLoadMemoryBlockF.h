#pragma once

#include <QDialog>

#include "app/Settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

class Machine;
class SettingsStore;

// "Load Memory Block from File": the file, the part of it (all, or From/To/Length), the
// memory address, wrapping past 0xFFFF, and whether the ROM area is left alone. The
// fields come from the settings store and go back to it when the dialog closes.
class TLoadMemoryBlockF : public QDialog {
  Q_OBJECT
 public:
  TLoadMemoryBlockF(Machine& machine, SettingsStore& store, QWidget* parent = nullptr);

  QLineEdit* FileEdit() const { return file_; }
  QCheckBox* AllFile() const { return all_; }
  QLineEdit* FromEdit() const { return from_; }
  QLineEdit* ToEdit() const { return to_; }
  QLineEdit* LengthEdit() const { return length_; }
  QLineEdit* StartEdit() const { return start_; }
  QCheckBox* PreserveRom() const { return preserveRom_; }
  QLabel* Status() const { return status_; }
  QLabel* FileHint() const { return fileHint_; }
  QPushButton* LoadButton() const { return load_; }
  // Loads the block; false (with the error shown) when the file could not be read.
  bool LoadBlock();
  void done(int result) override;

 private:
  void Validate(bool lengthTyped);

  Machine& machine_;
  SettingsStore& store_;
  LoadMemoryBlockSettings settings_;
  QLineEdit* file_;
  QCheckBox* all_;
  QLineEdit* from_;
  QLineEdit* to_;
  QLineEdit* length_;
  QLineEdit* start_;
  QCheckBox* wrap_;
  QCheckBox* preserveRom_;
  QLabel* fileHint_;
  QLabel* status_;
  QPushButton* load_;
  bool updating_ = false;
};

}  // namespace vantrel
