#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

class Machine;

// "Save Memory Block to File": Start, Length and End (each an expression), the file, and
// whether it is replaced, appended to or written at an offset.
class TSaveMemoryBlockF : public QDialog {
  Q_OBJECT
 public:
  explicit TSaveMemoryBlockF(Machine& machine, QWidget* parent = nullptr);
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

 private:
  void Validate(bool lengthTyped);

  Machine& machine_;
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
