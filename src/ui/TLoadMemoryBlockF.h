#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantrel {

class Machine;

// "Load Memory Block from File": the file, the part of it (all, or From/To/Length), the
// memory address, wrapping past 0xFFFF, and whether the ROM area is left alone.
class TLoadMemoryBlockF : public QDialog {
  Q_OBJECT
 public:
  explicit TLoadMemoryBlockF(Machine& machine, QWidget* parent = nullptr);

  QLineEdit* FileEdit() const { return file_; }
  QCheckBox* AllFile() const { return all_; }
  QLineEdit* FromEdit() const { return from_; }
  QLineEdit* ToEdit() const { return to_; }
  QLineEdit* LengthEdit() const { return length_; }
  QLineEdit* StartEdit() const { return start_; }
  QCheckBox* PreserveRom() const { return preserveRom_; }
  QLabel* Status() const { return status_; }
  QPushButton* LoadButton() const { return load_; }
  // Loads the block; false (with the error shown) when the file could not be read.
  bool LoadBlock();

 private:
  void Validate(bool lengthTyped);

  Machine& machine_;
  QLineEdit* file_;
  QCheckBox* all_;
  QLineEdit* from_;
  QLineEdit* to_;
  QLineEdit* length_;
  QLineEdit* start_;
  QCheckBox* wrap_;
  QCheckBox* preserveRom_;
  QLabel* status_;
  QPushButton* load_;
  bool updating_ = false;
};

}  // namespace vantrel
