#include "ui/TSaveMemoryBlockF.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "debugger/MemoryBlocks.h"
#include "machine/Machine.h"
#include "ui/BlockFileFields.h"

namespace vantrel {

namespace {

// An empty or mistyped field is out of every range.
int64_t FieldValue(const QLineEdit* edit, const Z80Registers& regs) {
  return BlockField(edit, regs).value_or(-1);
}

QString HexField(int32_t value) {
  return QStringLiteral("#%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

TSaveMemoryBlockF::TSaveMemoryBlockF(Machine& machine, SettingsStore& store, QWidget* parent)
    : QDialog(parent),
      machine_(machine),
      store_(store),
      settings_(LoadSaveMemoryBlockSettings(store)) {
  setWindowTitle(QStringLiteral("Save Memory Block to File"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  start_ = new QLineEdit(HexField(settings_.BlockStart), this);
  length_ = new QLineEdit(QString::number(settings_.BlockLength), this);
  end_ = new QLineEdit(HexField(settings_.BlockEnd), this);
  wrap_ = new QCheckBox(QStringLiteral("&Wrap Around"), this);
  wrap_->setChecked(settings_.WrapAround);
  file_ = new QLineEdit(QString::fromStdString(settings_.File.Location), this);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  auto* location = new QHBoxLayout;
  location->addWidget(file_);
  location->addWidget(browse);
  newFile_ = new QCheckBox(QStringLiteral("&New/Overwrite"), this);
  newFile_->setChecked(settings_.NewFile);
  ask_ = new QCheckBox(QStringLiteral("&Ask for Overwrite Old File"), this);
  ask_->setChecked(settings_.Overwrite);
  append_ = new QCheckBox(QStringLiteral("&Append to End"), this);
  append_->setChecked(settings_.AppendToEnd);
  offset_ = new QLineEdit(QString::number(settings_.Offset), this);
  form->addRow(QStringLiteral("Start:"), start_);
  form->addRow(QStringLiteral("Length:"), length_);
  form->addRow(QStringLiteral("End:"), end_);
  form->addRow(wrap_);
  form->addRow(QStringLiteral("Location:"), location);
  form->addRow(newFile_);
  form->addRow(ask_);
  form->addRow(append_);
  form->addRow(QStringLiteral("Offset:"), offset_);
  layout->addLayout(form);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  save_ = new QPushButton(QStringLiteral("Save"), this);
  layout->addWidget(save_);

  connect(browse, &QPushButton::clicked, this, [this] {
    const QString name = QFileDialog::getSaveFileName(
        this, QStringLiteral("Select Binary File Location"),
        file_->text().trimmed().isEmpty() ? QString::fromStdString(settings_.File.DefaultDir)
                                          : file_->text(),
        QStringLiteral("Binary File (*.Bin *.bin);;Any File (*)"));
    if (!name.isEmpty()) file_->setText(name);
  });
  for (QLineEdit* edit : {start_, end_, offset_, file_}) {
    connect(edit, &QLineEdit::textEdited, this, [this] { Validate(false); });
  }
  connect(length_, &QLineEdit::textEdited, this, [this] { Validate(true); });
  for (QCheckBox* box : {wrap_, newFile_, append_}) {
    connect(box, &QCheckBox::toggled, this, [this] { Validate(false); });
  }
  connect(save_, &QPushButton::clicked, this, [this] {
    if (SaveBlock()) accept();
  });
  Validate(false);
}

void TSaveMemoryBlockF::SetBlock(uint16_t start, uint16_t end) {
  start_->setText(QStringLiteral("#%1").arg(start, 4, 16, QLatin1Char('0')).toUpper());
  end_->setText(QStringLiteral("#%1").arg(end, 4, 16, QLatin1Char('0')).toUpper());
  Validate(false);
}

void TSaveMemoryBlockF::Validate(bool lengthTyped) {
  if (updating_) return;
  const Z80Registers& regs = machine_.State.Regs;
  ask_->setVisible(newFile_->isChecked());
  append_->setVisible(!newFile_->isChecked());
  offset_->setVisible(!newFile_->isChecked() && !append_->isChecked());
  SaveBlockFields fields{FieldValue(start_, regs),
                         FieldValue(length_, regs),
                         FieldValue(end_, regs),
                         wrap_->isChecked(),
                         newFile_->isChecked(),
                         append_->isChecked(),
                         offset_->text().trimmed().isEmpty() ? 0 : FieldValue(offset_, regs)};
  if (fields.Length < 0) fields.Length = 0;
  QString message = QString::fromStdString(ValidateSaveBlock(fields, lengthTyped));
  if (message.isEmpty()) {
    // The derived field is rewritten without counting as typed.
    updating_ = true;
    if (lengthTyped) {
      end_->setText(QString::number(fields.End));
    } else {
      length_->setText(QString::number(fields.Length));
    }
    updating_ = false;
    if (file_->text().trimmed().isEmpty()) message = QStringLiteral("Select the file to write!");
  }
  status_->setText(message);
  save_->setEnabled(message.isEmpty());
}

bool TSaveMemoryBlockF::SaveBlock() {
  const QString name = file_->text().trimmed();
  if (newFile_->isChecked() && ask_->isChecked() && QFileInfo::exists(name) &&
      QMessageBox::warning(
          this, QStringLiteral(" Warning!"),
          QStringLiteral("File \"%1\" already exist!\nDo you want to replace it?").arg(name),
          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
    return false;
  }
  const Z80Registers& regs = machine_.State.Regs;
  BlockSave save;
  save.Start = static_cast<uint16_t>(FieldValue(start_, regs));
  save.Length = static_cast<uint32_t>(FieldValue(length_, regs));
  save.Where = newFile_->isChecked()  ? BlockSave::NewFile
               : append_->isChecked() ? BlockSave::Append
                                      : BlockSave::AtOffset;
  save.Offset = static_cast<uint64_t>(std::max<int64_t>(0, FieldValue(offset_, regs)));
  if (!SaveMemoryBlock(machine_.Mem, name.toStdString(), save)) {
    QMessageBox::critical(this, QStringLiteral(" Error!"),
                          QStringLiteral("Can't save memory block to binary file."));
    return false;
  }
  return true;
}

void TSaveMemoryBlockF::done(int result) {
  const Z80Registers& regs = machine_.State.Regs;
  // A field left mistyped keeps the value stored before.
  const auto keep = [&](const QLineEdit* edit, int32_t& value, int64_t min, int64_t max) {
    const int64_t typed = FieldValue(edit, regs);
    if (typed >= min && typed <= max) value = static_cast<int32_t>(typed);
  };
  keep(start_, settings_.BlockStart, 0, 0xFFFF);
  keep(length_, settings_.BlockLength, 1, 0x10000);
  keep(end_, settings_.BlockEnd, 0, 0xFFFF);
  keep(offset_, settings_.Offset, 0, INT32_MAX);
  settings_.WrapAround = wrap_->isChecked();
  settings_.NewFile = newFile_->isChecked();
  settings_.Overwrite = ask_->isChecked();
  settings_.AppendToEnd = append_->isChecked();
  RememberBlockFile(settings_.File, file_->text());
  SaveSaveMemoryBlockSettings(store_, settings_);
  QDialog::done(result);
}

}  // namespace vantrel
