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

// "Save Memory Block to File": Start, Length and End (each an expression), the file, and
// whether it is replaced, appended to or written at an offset. The fields come from the
// settings store and go back to it when the dialog closes.
class TSaveMemoryBlockF : public QDialog {
  Q_OBJECT
 public:
  TSaveMemoryBlockF(Machine& machine, SettingsStore& store, QWidget* parent = nullptr);
  void SetBlock(uint16_t start, uint16_t end);

  QLineEdit* StartEdit() const { return start_; }
  QLineEdit* LengthEdit() const { return length_; }
  QLineEdit* EndEdit() const { return end_; }
  QLineEdit* FileEdit() const { return file_; }
  QCheckBox* NewOverwrite() const { return newFile_; }
  QCheckBox* Append() const { return append_; }
  QLineEdit* OffsetEdit() const { return offset_; }
  QLabel* Status() const { return status_; }
  QPushButton* SaveButton() const { return save_; }
  // Writes the block; false (with the error shown) when the file could not be written.
  bool SaveBlock();
  void done(int result) override;

 private:
  void Validate(bool lengthTyped);

  Machine& machine_;
  SettingsStore& store_;
  SaveMemoryBlockSettings settings_;
  QLineEdit* start_;
  QLineEdit* length_;
  QLineEdit* end_;
  QCheckBox* wrap_;
  QLineEdit* file_;
  QCheckBox* newFile_;
  QCheckBox* ask_;
  QCheckBox* append_;
  QLineEdit* offset_;
  QLabel* status_;
  QPushButton* save_;
  bool updating_ = false;
};

}  // namespace vantrel
