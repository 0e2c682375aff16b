#include "ui/TLoadMemoryBlockF.h"

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

#include "debugger/Evaluator.h"
#include "debugger/MemoryBlocks.h"
#include "machine/Machine.h"

namespace vantrel {

namespace {

// Empty: the field is empty; a mistyped value is out of every range.
std::optional<int64_t> Field(const QLineEdit* edit, const Z80Registers& regs) {
  if (edit->text().trimmed().isEmpty()) return std::nullopt;
  try {
    return EvaluateExpression(edit->text().toStdString(), regs);
  } catch (const ExpressionError&) {
    return -1;
  }
}

}  // namespace

TLoadMemoryBlockF::TLoadMemoryBlockF(Machine& machine, QWidget* parent)
    : QDialog(parent), machine_(machine) {
  setWindowTitle(QStringLiteral("Load Memory Block from File"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  file_ = new QLineEdit(this);
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  auto* location = new QHBoxLayout;
  location->addWidget(file_);
  location->addWidget(browse);
  all_ = new QCheckBox(QStringLiteral("&All File"), this);
  all_->setChecked(true);
  from_ = new QLineEdit(this);
  to_ = new QLineEdit(this);
  length_ = new QLineEdit(this);
  start_ = new QLineEdit(QStringLiteral("#8000"), this);
  wrap_ = new QCheckBox(QStringLiteral("&Wrap Around"), this);
  preserveRom_ = new QCheckBox(QStringLiteral("&Preserve ROM Area"), this);
  preserveRom_->setChecked(true);
  form->addRow(QStringLiteral("Location:"), location);
  form->addRow(all_);
  form->addRow(QStringLiteral("From:"), from_);
  form->addRow(QStringLiteral("To:"), to_);
  form->addRow(QStringLiteral("Length:"), length_);
  form->addRow(QStringLiteral("Start:"), start_);
  form->addRow(wrap_);
  form->addRow(preserveRom_);
  layout->addLayout(form);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  load_ = new QPushButton(QStringLiteral("&Load"), this);
  layout->addWidget(load_);

  connect(browse, &QPushButton::clicked, this, [this] {
    const QString name =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select Binary File"), file_->text(),
                                     QStringLiteral("Binary File (*.Bin *.bin);;Any File (*)"));
    if (!name.isEmpty()) file_->setText(name);
  });
  for (QLineEdit* edit : {file_, from_, to_, start_}) {
    connect(edit, &QLineEdit::textChanged, this, [this] { Validate(false); });
  }
  connect(length_, &QLineEdit::textEdited, this, [this] { Validate(true); });
  for (QCheckBox* box : {all_, wrap_}) {
    connect(box, &QCheckBox::toggled, this, [this] { Validate(false); });
  }
  connect(load_, &QPushButton::clicked, this, [this] {
    if (LoadBlock()) accept();
  });
  Validate(false);
}

void TLoadMemoryBlockF::Validate(bool lengthTyped) {
  if (updating_) return;
  const Z80Registers& regs = machine_.State.Regs;
  for (QLineEdit* edit : {from_, to_, length_}) edit->setEnabled(!all_->isChecked());
  const QFileInfo info(file_->text().trimmed());
  std::optional<uint64_t> size;
  if (!file_->text().trimmed().isEmpty() && info.isFile())
    size = static_cast<uint64_t>(info.size());
  LoadBlockFields fields{all_->isChecked(),    Field(from_, regs),  Field(to_, regs),
                         Field(length_, regs), Field(start_, regs), wrap_->isChecked()};
  const QString message = QString::fromStdString(ValidateLoadBlock(fields, size, lengthTyped));
  // The derived fields are rewritten without counting as typed.
  updating_ = true;
  const auto show = [](QLineEdit* edit, const std::optional<int64_t>& value) {
    if (value && edit->text() != QString::number(*value)) edit->setText(QString::number(*value));
  };
  if (size) {
    if (all_->isChecked()) {
      show(from_, fields.From);
      show(to_, fields.To);
    }
    if (lengthTyped) show(to_, fields.To);
    if (!lengthTyped) show(length_, fields.Length);
  }
  updating_ = false;
  status_->setText(message);
  load_->setEnabled(message.isEmpty());
}

bool TLoadMemoryBlockF::LoadBlock() {
  const Z80Registers& regs = machine_.State.Regs;
  BlockLoad load;
  load.From = static_cast<uint64_t>(Field(from_, regs).value_or(0));
  load.Length = static_cast<uint32_t>(Field(length_, regs).value_or(0));
  load.Start = static_cast<uint16_t>(Field(start_, regs).value_or(0));
  load.PreserveRom = preserveRom_->isChecked();
  if (!LoadMemoryBlock(machine_.Mem, file_->text().trimmed().toStdString(), load)) {
    QMessageBox::critical(this, QStringLiteral(" Error!"),
                          QStringLiteral("Can't load memory block from binary file."));
    return false;
  }
  return true;
}

}  // namespace vantrel
